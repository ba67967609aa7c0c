# The group statement: its screen and the rules it computes without a GUI.
target_sources(totem_statements PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/GroupPeriod.h ${CMAKE_CURRENT_LIST_DIR}/GroupPeriod.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GroupQuery.h ${CMAKE_CURRENT_LIST_DIR}/GroupQuery.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SubGroupTotals.h ${CMAKE_CURRENT_LIST_DIR}/SubGroupTotals.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TfrmExtratoGrupo.h ${CMAKE_CURRENT_LIST_DIR}/TfrmExtratoGrupo.cpp)
