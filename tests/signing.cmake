# Signed updates: a throwaway PKI made at build time, signed copies of the shell, and the tests that offer
# them to signed and unsigned shells.
find_program(QUOREL_OPENSSL openssl REQUIRED)

# The wrapper (wine-run.sh) trusts root.cer in the prefix with trust-root.exe, both found beside the prefix.
set(QUOREL_TEST_PKI ${CMAKE_BINARY_DIR}/test-pki)
set(pki_names root vendor renewed other impostor stranger forged)
set(pki_outputs ${QUOREL_TEST_PKI}/root.cer)
foreach(name ${pki_names})
    list(APPEND pki_outputs ${QUOREL_TEST_PKI}/${name}.pem ${QUOREL_TEST_PKI}/${name}.key)
endforeach()
add_custom_command(OUTPUT ${pki_outputs}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/pki/make-test-pki.sh ${QUOREL_TEST_PKI} Test
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/pki/make-test-pki.sh
    COMMENT "Making the throwaway test PKI")
add_custom_target(quorel_test_pki DEPENDS ${pki_outputs})

add_executable(trust_root pki/TrustRoot.cpp)
target_include_directories(trust_root PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(trust_root PRIVATE crypt32)
set_target_properties(trust_root PROPERTIES OUTPUT_NAME trust-root RUNTIME_OUTPUT_DIRECTORY ${QUOREL_TEST_PKI})
add_dependencies(trust_root quorel_test_pki)

# <variant>-<signer>.exe: a copy of the variant signed by that certificate of the test PKI.
set(QUOREL_SIGNED_DIR ${CMAKE_BINARY_DIR}/signed)
foreach(copy v3200-vendor v3201-vendor v3201-renewed v3201-other v3201-impostor v3201-forged)
    string(REPLACE "-" ";" parts ${copy})
    list(GET parts 0 variant)
    list(GET parts 1 signer)
    # The impostor and the forger reach no root the prefix trusts; the build checks only that their
    # signatures are whole.
    set(cafile ${QUOREL_TEST_PKI}/root.pem)
    if(signer STREQUAL "impostor")
        set(cafile ${QUOREL_TEST_PKI}/impostor.pem)
    elseif(signer STREQUAL "forged")
        set(cafile ${QUOREL_TEST_PKI}/stranger.pem)
    endif()
    quorel_sign_command(sign_copy $<TARGET_FILE:quorel_${variant}> ${QUOREL_SIGNED_DIR}/${copy}.exe
        CAFILE ${cafile} CERT ${QUOREL_TEST_PKI}/${signer}.pem KEY ${QUOREL_TEST_PKI}/${signer}.key)
    add_custom_command(OUTPUT ${QUOREL_SIGNED_DIR}/${copy}.exe
        COMMAND ${CMAKE_COMMAND} -E make_directory ${QUOREL_SIGNED_DIR}
        COMMAND ${sign_copy}
        DEPENDS quorel_${variant} ${pki_outputs} ${PROJECT_SOURCE_DIR}/cmake/sign-exe.sh
        COMMENT "Signing ${copy}.exe" VERBATIM)
    list(APPEND signed_copies ${QUOREL_SIGNED_DIR}/${copy}.exe)
endforeach()
add_custom_target(quorel_signed_copies DEPENDS ${signed_copies} trust_root)
