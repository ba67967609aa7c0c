# The detailed and the simplified statement, and the account-movement display rules they share.
target_sources(totem_statements PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/MovementRules.h ${CMAKE_CURRENT_LIST_DIR}/MovementRules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StatementScreen.h ${CMAKE_CURRENT_LIST_DIR}/StatementScreen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TfrmExtratoSimplificado.h ${CMAKE_CURRENT_LIST_DIR}/TfrmExtratoSimplificado.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TfrmExtratoDetalhado.h ${CMAKE_CURRENT_LIST_DIR}/TfrmExtratoDetalhado.cpp)
