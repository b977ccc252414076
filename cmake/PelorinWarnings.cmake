# Warnings are errors for our own code; third-party code (GoogleTest) is left alone.
add_library(pelorin_warnings INTERFACE)
target_compile_options(pelorin_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Werror
    -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
    -Wconversion -Wsign-conversion -Wformat=2 -Wimplicit-fallthrough)

if(PELORIN_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
    # Texts on the wire and in files are bytes: the ANSI ("A") entry points throughout.
    add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()
