# Builds the resource archive OUTPUT (a ZIP file) from the layout file XRC and
# the images IMAGES found in IMAGE_DIR. The layout is stored as "Arkivault.xrc",
# the name the toolkit's resource loader looks for inside an archive; each
# image as "Arkivault.xrs$" followed by its file name, the name under which the
# layouts and the program open it.
get_filename_component(stage "${OUTPUT}.members" ABSOLUTE)
file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}")
configure_file("${XRC}" "${stage}/Arkivault.xrc" COPYONLY)
set(members Arkivault.xrc)
foreach(image IN LISTS IMAGES)
  set(member "Arkivault.xrs$${image}")
  configure_file("${IMAGE_DIR}/${image}" "${stage}/${member}" COPYONLY)
  list(APPEND members "${member}")
endforeach()

# The archive is written next to its final name and renamed, so an interrupted
# build never leaves a half-written archive that looks up to date.
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E tar cf "${OUTPUT}.partial" --format=zip --mtime=2024-01-01
          -- ${members}
  WORKING_DIRECTORY "${stage}"
  RESULT_VARIABLE result
)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Cannot write ${OUTPUT}")
endif()
file(RENAME "${OUTPUT}.partial" "${OUTPUT}")
file(REMOVE_RECURSE "${stage}")
