# The product as it ships: packed with zorpack, signed with a throwaway
# certificate (openssl, osslsigncode on the host), then run under Wine. The
# native packer (the host preset's build) must make the same file; without
# it the test reports itself skipped after everything else has passed.
set(ZOR_NATIVE_ZORPACK "${CMAKE_SOURCE_DIR}/build-host/bin/zorpack" CACHE FILEPATH
    "The native Linux zorpack that the signed-product test cross-checks")
add_test(NAME signed_product
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/signed_product_test.sh ${CMAKE_BINARY_DIR}
                 ${ZOR_NATIVE_ZORPACK})
set_tests_properties(signed_product PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300
                                               SKIP_RETURN_CODE 77)
