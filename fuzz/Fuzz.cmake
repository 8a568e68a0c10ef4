# kvb_fuzz: the libFuzzer target. cmake/Sanitizers.cmake includes this file at
# the end of the top-level directory when KVB_FUZZ is on; scripts/fuzz.sh
# configures, builds and runs it.
add_executable(kvb_fuzz ${CMAKE_CURRENT_LIST_DIR}/kvb_fuzz.cpp)
target_link_libraries(kvb_fuzz PRIVATE kvb_resources kvb_vst2_editor kvb_platform)
target_link_options(kvb_fuzz PRIVATE -fsanitize=fuzzer)
