# The one list of product sources. Both Windows DLLs build exactly these; the
# native build takes the platform-free core alone.

# Platform-free core: plain bytes in, plain text out. No <windows.h>.
set(VARNIK_CORE_SOURCES
  plugin/choice_list.cpp
  plugin/host_calls.cpp
  plugin/host_context.cpp
  report/broadcast_decoder.cpp
  report/event_report.cpp
  support/line_queue.cpp
  support/text.cpp
  watcher/volume_event.cpp
  watcher/watcher_command.cpp
)

# The core's heap. Unit tests link an allocator of their own instead, which
# can fail on request.
set(VARNIK_MEMORY_SOURCES support/memory.cpp)
set(VARNIK_TEST_MEMORY_SOURCES tests/native/test_memory.cpp)

# Win32 glue: exports, host texts, watcher windows, dialogs.
set(VARNIK_WIN32_SOURCES
  plugin/action_table.cpp
  plugin/dll_main.cpp
  plugin/edit_dialog.cpp
  plugin/exports.cpp
  plugin/host_text.cpp
  support/dialog_template.cpp
  support/library_hold.cpp
  support/library_main.cpp
  support/message_pump.cpp
  watcher/watch.cpp
  watcher/watcher_log.cpp
  watcher/watcher_proc.cpp
  watcher/watcher_state.cpp
  watcher/watcher_window.cpp
)

# Native unit tests of the core; built and run on Linux and under Wine.
set(VARNIK_CORE_TEST_SOURCES
  tests/native/broadcast_decoder_unittest.cpp
  tests/native/choice_list_unittest.cpp
  tests/native/event_report_unittest.cpp
  tests/native/line_queue_unittest.cpp
  tests/native/text_unittest.cpp
  tests/native/volume_event_unittest.cpp
)

foreach(list VARNIK_CORE_SOURCES VARNIK_MEMORY_SOURCES VARNIK_TEST_MEMORY_SOURCES VARNIK_WIN32_SOURCES
        VARNIK_CORE_TEST_SOURCES)
  list(TRANSFORM ${list} PREPEND ${CMAKE_CURRENT_LIST_DIR}/../)
endforeach()
