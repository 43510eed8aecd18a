# One interface target with the options every target of the project uses.
add_library(velmora_options INTERFACE)
target_compile_features(velmora_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
if(MSVC)
  target_compile_options(velmora_options INTERFACE /W4 /utf-8 $<$<BOOL:${VELMORA_WERROR}>:/WX>)
else()
  target_compile_options(velmora_options INTERFACE -Wall -Wextra -Wpedantic
                         $<$<BOOL:${VELMORA_WERROR}>:-Werror>)
endif()

# Qt targets add Qt's strict string options on top.
add_library(velmora_qt_options INTERFACE)
target_link_libraries(velmora_qt_options INTERFACE velmora_options)
target_compile_definitions(velmora_qt_options INTERFACE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII
                           QT_NO_URL_CAST_FROM_STRING QT_NO_CAST_FROM_BYTEARRAY)
