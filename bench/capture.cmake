# Screen capture: a recording tool driven by scripts/capture_vs_x11grab.sh
# (not a bench_* executable: it needs an X display the script provides).
add_executable(capture_record capture_record.cpp)
target_link_libraries(capture_record PRIVATE mirelo_platform mirelo_capture mirelo_i18n)

# The recording store on decoded video: driven by scripts/recording_store.sh.
add_executable(store_frames store_frames.cpp)
target_link_libraries(store_frames PRIVATE mirelo_capture)

# The editor's memory on a long recording: driven by scripts/recording_store.sh.
add_executable(editor_export_memory editor_export_memory.cpp)
target_link_libraries(editor_export_memory PRIVATE mirelo_ui mirelo_capture)
target_include_directories(capture_record PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_include_directories(editor_export_memory PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
