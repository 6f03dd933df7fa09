# Signed copies of the shell for the scenarios, made with a throwaway PKI. The Wine wrapper
# (scripts/wine-run.sh) trusts its root.cer in the prefix with trust-root.exe, both found beside the prefix.
find_program(QUOREL_OPENSSL openssl REQUIRED)
add_custom_command(OUTPUT ${pki}/root.cer
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/pki/make-pki.sh ${pki} Test
    DEPENDS ${PROJECT_SOURCE_DIR}/scripts/pki/make-pki.sh COMMENT "Making the throwaway test PKI")

add_executable(trust_root pki/TrustRoot.cpp)
target_include_directories(trust_root PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(trust_root PRIVATE crypt32)
set_target_properties(trust_root PROPERTIES OUTPUT_NAME trust-root RUNTIME_OUTPUT_DIRECTORY ${pki})

# <variant>-<signer>.exe, checked against <issuer>: the impostor and the forger reach no trusted root, so
# the build checks only that their signatures are whole.
set(signed ${CMAKE_BINARY_DIR}/signed)
foreach(copy v3200-vendor-root v3201-vendor-root v3201dies-vendor-root v3201-renewed-root v3201-other-root
             v3201-impostor-impostor v3201-forged-stranger)
    string(REPLACE "-" ";" parts ${copy})
    list(POP_FRONT parts variant signer issuer)
    quorel_sign_command(sign_copy $<TARGET_FILE:quorel_${variant}> ${signed}/${variant}-${signer}.exe
        CAFILE ${pki}/${issuer}.pem CERT ${pki}/${signer}.pem KEY ${pki}/${signer}.key)
    add_custom_command(OUTPUT ${signed}/${variant}-${signer}.exe
        COMMAND ${CMAKE_COMMAND} -E make_directory ${signed}
        COMMAND ${sign_copy}
        DEPENDS quorel_${variant} ${pki}/root.cer ${PROJECT_SOURCE_DIR}/cmake/sign-exe.sh
        COMMENT "Signing ${variant}-${signer}.exe" VERBATIM)
    list(APPEND copies ${signed}/${variant}-${signer}.exe)
endforeach()
add_custom_target(quorel_signed_copies DEPENDS ${copies} trust_root)
add_dependencies(scenario_test quorel_signed_copies)
target_compile_definitions(scenario_test PRIVATE QUOREL_SIGNED_DIR="Z:${signed}")
