# Geometry operations on a recording and burning overlays into its frames.
mirelo_add_bench(NAME bench_geometry SOURCES bench_geometry.cpp LIBS mirelo_editor mirelo_overlay Qt6::Gui)
