# Helper of bench/scripts/webp_mp4_vs_cli.sh: decodes a WebP or MP4 file and
# prints its PSNR against the source frames. Not a benchmark itself.
pkg_check_modules(BENCH_WEBP REQUIRED IMPORTED_TARGET libwebp libwebpdemux)
pkg_check_modules(BENCH_FFMPEG REQUIRED IMPORTED_TARGET libavcodec libavformat libavutil libswscale)
add_executable(mirelo-media-psnr media_psnr.cpp ${PROJECT_SOURCE_DIR}/tests/support/WebPFrames.cpp)
target_include_directories(mirelo-media-psnr PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(mirelo-media-psnr PRIVATE Qt6::Gui PkgConfig::BENCH_WEBP PkgConfig::BENCH_FFMPEG)
