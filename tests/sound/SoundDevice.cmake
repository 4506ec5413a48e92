# The output back-end cases need a sound device: they run again in a prefix of their own whose ALSA
# default device writes a WAVE file (device-run.sh); in the ordinary run they skip themselves.
add_test(NAME sound_device
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/device-run.sh ${CMAKE_BINARY_DIR} $<TARGET_FILE:sound_tests>
          --gtest_brief=1 --gtest_filter=*SoundDevice*)
set_tests_properties(sound_device PROPERTIES TIMEOUT 300
  FAIL_REGULAR_EXPRESSION "wine: Unhandled|Unhandled page fault|Unhandled stack overflow")
