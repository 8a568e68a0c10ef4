# kvb_fuzz and kvb_wav_fuzz: the libFuzzer targets. cmake/Sanitizers.cmake
# includes this file at the end of the top-level directory when KVB_FUZZ is
# on; scripts/fuzz.sh configures, builds and runs them side by side.
add_executable(kvb_fuzz ${CMAKE_CURRENT_LIST_DIR}/kvb_fuzz.cpp)
target_link_libraries(kvb_fuzz PRIVATE kvb_resources kvb_vst2_editor kvb_platform)
target_link_options(kvb_fuzz PRIVATE -fsanitize=fuzzer)

# kvb_wav_fuzz: kvb's WAV reader and writer, the same file as every kvb build's.
add_executable(kvb_wav_fuzz ${CMAKE_CURRENT_LIST_DIR}/kvb_wav_fuzz.cpp ${CMAKE_SOURCE_DIR}/host/WavFile.cpp)
target_include_directories(kvb_wav_fuzz PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(kvb_wav_fuzz PRIVATE -fsanitize=fuzzer)
