# One interface target carries the warning flags of our own code; libraries
# we only consume never see them.
add_library(tallybird_warnings INTERFACE)
target_compile_options(tallybird_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Wconversion -Werror)
