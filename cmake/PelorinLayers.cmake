# Every target includes from a folder of its own in the build tree that holds a link to its
# source folder under the same relative path ("net" -> <source>/net), and passes that
# folder on to what links it. So "platform/...", "net/..." resolve as from the repository
# root, but only for the folders of the target and of the libraries it links: a source
# that includes from a layer its target does not link fails to compile, and the build
# shows the layers.
function(pelorin_give_include_folders directory)
    get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        get_target_property(source_dir ${target} SOURCE_DIR)
        file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${source_dir})
        # Build settings of the root (warnings, version) and targets from outside the
        # repository have no folder to give.
        if(type STREQUAL "UTILITY" OR folder STREQUAL "" OR folder MATCHES "^\\.\\.")
            continue()
        endif()
        set(root ${PROJECT_BINARY_DIR}/include/${target})
        # A build tree configured when the target lived in another folder may hold a link
        # where a folder is needed now, or a folder where the link goes: remove what is in
        # the way (links themselves, never what they point to).
        set(path ${root})
        string(REPLACE "/" ";" parts ${folder})
        foreach(part IN LISTS parts)
            set(path ${path}/${part})
            if(IS_SYMLINK ${path})
                if(NOT path STREQUAL "${root}/${folder}")
                    file(REMOVE ${path})
                endif()
            elseif(path STREQUAL "${root}/${folder}" AND IS_DIRECTORY ${path})
                file(REMOVE_RECURSE ${path})
            endif()
        endforeach()
        get_filename_component(parent ${root}/${folder} DIRECTORY)
        file(MAKE_DIRECTORY ${parent})
        file(CREATE_LINK ${source_dir} ${root}/${folder} SYMBOLIC)
        if(type STREQUAL "INTERFACE_LIBRARY")
            target_include_directories(${target} INTERFACE $<BUILD_INTERFACE:${root}>)
        else()
            target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${root}>)
        endif()
    endforeach()
    get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
    foreach(subdirectory IN LISTS subdirectories)
        pelorin_give_include_folders(${subdirectory})
    endforeach()
endfunction()
