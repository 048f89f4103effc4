# One layer of the program: a static library whose headers only the targets that link it
# can include.
#
# Sources include a layer's headers as "layer/Header.h". Were the folder above the layers
# an include root, every layer could include every other, and a wrong include would build.
# So each layer gets an include root of its own in the build tree, holding nothing but a
# link named after the layer to its source folder, and passes it on through
# target_link_libraries: a layer sees its own headers and those of the layers it links,
# and an include of a layer above it fails to compile.
#
#   vorn_layer(TARGET FOLDER SOURCES file... [LINKS target...])
#
# LINKS are public: a layer's headers include those of the layers below it.
function(vorn_layer target folder)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "SOURCES;LINKS")
    get_filename_component(name "${folder}" NAME)
    set(root "${PROJECT_BINARY_DIR}/layers/${name}")
    file(MAKE_DIRECTORY "${root}")
    file(CREATE_LINK "${folder}" "${root}/${name}" SYMBOLIC)
    add_library(${target} STATIC ${arg_SOURCES})
    target_include_directories(${target} PUBLIC "${root}")
    target_link_libraries(${target} PUBLIC ${arg_LINKS})
    vorn_target_defaults(${target})
    vorn_unity_build(${target})
endfunction()
