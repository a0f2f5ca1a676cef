# The asan preset turns this on for every target: sanitizers must see the whole
# program, and the first report stops the run.
# The fuzz preset: the same sanitizers, and libFuzzer's coverage in every
# object (its targets link libFuzzer itself).
if(TALLYBIRD_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
elseif(TALLYBIRD_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
