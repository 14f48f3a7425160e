# One target per decoder, each in its own fuzz_<name>.cpp with a seed folder corpus/fuzz_<name>.
set(FUZZ_TARGETS fuzz_frame fuzz_request fuzz_datapacket fuzz_delta fuzz_wiredatetime)
