# The account-movement display rules, and the detailed and simplified statements against a real totem-server.
totem_add_test(tst_movementrules SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_movementrules.cpp LIBS totem_statements)
totem_add_test(tst_movementstatements SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_movementstatements.cpp
               LIBS totem_statements totem_appserver_testsupport)
