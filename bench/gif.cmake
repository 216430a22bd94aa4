# Helper of bench/scripts/gif_vs_ffmpeg.sh: prints the share of unchanged
# source pixels whose colour changes in a GIF. Not a benchmark itself.
find_package(GIF REQUIRED)
add_executable(mirelo-gif-shimmer gif_shimmer.cpp)
target_link_libraries(mirelo-gif-shimmer PRIVATE Qt6::Gui GIF::GIF)
