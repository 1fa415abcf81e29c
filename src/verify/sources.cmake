list(APPEND FYREL_PURE_SOURCES verify/pushback_reader.cpp verify/package_trailer.cpp verify/trailer_window.cpp)
list(APPEND FYREL_WIN32_SOURCES verify/signature_verifier.cpp verify/signature_check_worker.cpp verify/package_hashes.cpp)
