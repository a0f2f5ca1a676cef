# One interface target carries the warning flags of our own code; libraries
# we only consume never see them.
add_library(tallybird_warnings INTERFACE)
target_compile_options(tallybird_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Wconversion -Werror)
# clang's -Wconversion also warns of every signedness change, which g++'s does
# not: the fuzz preset (clang) checks what the other presets (g++) check.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_compile_options(tallybird_warnings INTERFACE -Wno-sign-conversion)
endif()
