# Copies each of FILES that exists in FROM into TO (cmake -P script of the testbed build).
foreach(file ${FILES})
  if(EXISTS "${FROM}/${file}")
    file(COPY "${FROM}/${file}" DESTINATION "${TO}")
  endif()
endforeach()
