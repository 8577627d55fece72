# Toolchain for the browser build: Debian's emscripten, with SDL2, SDL2_image, SDL2_mixer,
# SDL2_ttf and FreeType from the sysroot that scripts/web builds from Debian's sources. Those
# come as CMake packages (find_package(SDL2 CONFIG) → SDL2::SDL2-static, SDL2_mixer::
# SDL2_mixer-static, …): the static builds install no pkg-config files but SDL2's.
#   cmake -S . -B DIR -DCMAKE_TOOLCHAIN_FILE=cmake/web.cmake [-DZORBILO_WEB_SYSROOT=…]
set(ZORBILO_WEB_SYSROOT "${CMAKE_CURRENT_LIST_DIR}/../build-web/sysroot" CACHE PATH
  "SDL2 and its libraries built for WebAssembly (scripts/web makes them)")
get_filename_component(ZORBILO_WEB_SYSROOT "${ZORBILO_WEB_SYSROOT}" ABSOLUTE)
if(DEFINED ENV{EMSCRIPTEN_ROOT})
  set(_zorbilo_emscripten "$ENV{EMSCRIPTEN_ROOT}")
else()
  set(_zorbilo_emscripten /usr/share/emscripten)  # Debian's emscripten
endif()
if(NOT EXISTS "${_zorbilo_emscripten}/cmake/Modules/Platform/Emscripten.cmake")
  message(FATAL_ERROR "emscripten is not in ${_zorbilo_emscripten}: install the [web] group of scripts/deps (or set EMSCRIPTEN_ROOT)")
endif()
include("${_zorbilo_emscripten}/cmake/Modules/Platform/Emscripten.cmake")
if(NOT EXISTS "${ZORBILO_WEB_SYSROOT}/lib/libSDL2.a")
  message(FATAL_ERROR "no SDL2 for WebAssembly in ${ZORBILO_WEB_SYSROOT}: run scripts/web first")
endif()
# First: emscripten's own sysroot has an SDL2 package too, a stand-in for its downloading port.
list(PREPEND CMAKE_FIND_ROOT_PATH "${ZORBILO_WEB_SYSROOT}")
list(PREPEND CMAKE_PREFIX_PATH "${ZORBILO_WEB_SYSROOT}")
# SDL's audio calls two runtime functions from its inline JavaScript, which does not pull them
# in (emcc adds them only for its own SDL port). Link the SDL programs with this option; the
# names are in a file because CMake's link rules mangle the '$' they begin with.
set(ZORBILO_WEB_SDL_LINK_OPTION
  "-sDEFAULT_LIBRARY_FUNCS_TO_INCLUDE=@${CMAKE_CURRENT_LIST_DIR}/web-sdl-runtime.txt")
