# The module's resources travel beside it in bin/Resources, as a bundle's would. Each file is
# a build output of its own, so that editing one resource copies it again on the next build.
function(kordela_add_resources)
    file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/Resources/*.json)
    set(copies)
    foreach(source IN LISTS sources)
        cmake_path(GET source FILENAME name)
        set(copy ${CMAKE_BINARY_DIR}/bin/Resources/${name})
        add_custom_command(OUTPUT ${copy}
            COMMAND ${CMAKE_COMMAND} -E copy_if_different ${source} ${copy}
            DEPENDS ${source}
            COMMENT "Copying the add-on's resource ${name}")
        list(APPEND copies ${copy})
    endforeach()
    add_custom_target(kordela_resources DEPENDS ${copies})
    add_dependencies(Kordela kordela_resources)
endfunction()
