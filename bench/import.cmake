# Opening a video into a recording store: a tool driven by scripts/open_video_vs_ffmpeg.sh.
add_executable(open_frames open_frames.cpp)
target_link_libraries(open_frames PRIVATE mirelo_import)
target_include_directories(open_frames PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
