mirelo_add_bench(NAME bench_transforms SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_transforms.cpp
  LIBS mirelo_image mirelo_editor Qt6::Gui)
