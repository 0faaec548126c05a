# The product as it ships: packed with zorpack, signed with a throwaway
# certificate (openssl, osslsigncode on the host), then run under Wine.
add_test(NAME signed_product
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/signed_product_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(signed_product PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300)
