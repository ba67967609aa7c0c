# The group statement: its rules without a GUI, and its screen against the real application server.
totem_add_test(tst_groupstatement_rules SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_groupstatement_rules.cpp
               LIBS totem_statements)
totem_add_test(tst_groupstatement SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_groupstatement.cpp
               LIBS totem_statements totem_appserver_testsupport)
