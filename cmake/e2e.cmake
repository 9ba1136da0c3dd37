# End-to-end: volume events raised by Wine's own mount manager (fed by a fake
# UDisks2 on a private D-Bus bus, see scripts/fake-udisks2/) reach a script
# callback through the plug-in's exports. It runs in a Wine prefix of its own,
# so it needs neither the shared wineserver fixture nor the desktop lock.
add_executable(mount_manager_e2e tests/e2e/mount_manager_e2e.cpp)
target_link_libraries(mount_manager_e2e PRIVATE plugin_host)
target_compile_options(mount_manager_e2e PRIVATE ${VARNIK_TEST_WARNINGS})
target_link_options(mount_manager_e2e PRIVATE ${VARNIK_STATIC_RUNTIME})
add_dependencies(mount_manager_e2e varnik)

add_test(NAME ${VARNIK_ARCH}.e2e.mount_manager
  COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/run-mount-manager-e2e
          $<TARGET_FILE:mount_manager_e2e> ${VARNIK_PLUGIN_WINE_PATH})
set_tests_properties(${VARNIK_ARCH}.e2e.mount_manager PROPERTIES
  TIMEOUT 120 SKIP_RETURN_CODE 77 LABELS e2e
  # One run at a time per build tree; runs of other builds wait on the
  # prefix's lock.
  RESOURCE_LOCK wineprefix_udisks)
