# The map page's libraries come from npm: every package in package.json's
# "dependencies" must be installed in node_modules at the version given there,
# with its dist folder, which is copied into velmo/. Without them the page
# loads but its functions are never defined, and every button of the map
# window fails: so a configure without them stops here.
#
# tessolo_page_packages(<source dir> <out var>) sets <out var> to the package
# names, or fails saying what is missing and to run `npm ci`. Usable from a
# project and in script mode (cmake -P).

function(tessolo_page_packages source_dir out_var)
  set(_manifest "${source_dir}/package.json")
  if(NOT EXISTS "${_manifest}")
    message(FATAL_ERROR "${_manifest} is missing: the map page cannot be built.")
  endif()
  file(READ "${_manifest}" _json)
  string(JSON _count ERROR_VARIABLE _err LENGTH "${_json}" dependencies)
  if(_err)
    message(FATAL_ERROR "${_manifest} lists no dependencies: ${_err}")
  endif()

  set(_names)
  set(_problems)
  math(EXPR _last "${_count} - 1")
  foreach(_i RANGE ${_last})
    string(JSON _name MEMBER "${_json}" dependencies ${_i})
    string(JSON _want GET "${_json}" dependencies "${_name}")
    list(APPEND _names "${_name}")
    set(_dir "${source_dir}/node_modules/${_name}")
    if(NOT EXISTS "${_dir}/package.json" OR NOT IS_DIRECTORY "${_dir}/dist")
      list(APPEND _problems "${_name} ${_want} is not installed")
      continue()
    endif()
    file(READ "${_dir}/package.json" _installed_json)
    string(JSON _have ERROR_VARIABLE _err GET "${_installed_json}" version)
    if(_err OR NOT _have STREQUAL _want)
      list(APPEND _problems "${_name} is ${_have} where ${_want} is needed")
    endif()
  endforeach()

  if(_problems)
    list(JOIN _problems "; " _text)
    message(FATAL_ERROR
      "The map page's npm packages are missing or out of date (${_text}). "
      "Run `npm ci` in ${source_dir} (tools/setup.sh does it), then configure again.")
  endif()
  set(${out_var} "${_names}" PARENT_SCOPE)
endfunction()
