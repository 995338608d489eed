# Every target of the project gets these through connector_configure_target().
add_compile_definitions(
  QT_NO_CAST_FROM_ASCII
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_CONTEXTLESS_CONNECT
  QT_NO_KEYWORDS
)

add_compile_options(-Wall -Wextra -Wpedantic)
if(CONNECTOR_WERROR)
  add_compile_options(-Werror)
endif()

if(CONNECTOR_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
