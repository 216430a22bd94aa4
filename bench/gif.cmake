# Helper of bench/scripts/gif_vs_ffmpeg.sh: prints the share of unchanged
# source pixels whose colour changes in a GIF. Not a benchmark itself.
find_package(GIF REQUIRED)
add_executable(mirelo-gif-shimmer gif_shimmer.cpp)
target_link_libraries(mirelo-gif-shimmer PRIVATE Qt6::Gui GIF::GIF)

# Helper of bench/scripts/gif_vs_ffmpeg.sh: times the application's own GIF
# export from frames in memory. Not a benchmark itself.
add_executable(mirelo-gif-export-time gif_export_time.cpp)
target_link_libraries(mirelo-gif-export-time PRIVATE mirelo_export mirelo_i18n Qt6::Gui)
