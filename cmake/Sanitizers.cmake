# The asan preset turns this on for every target: sanitizers must see the whole
# program, and the first report stops the run.
if(TALLYBIRD_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
