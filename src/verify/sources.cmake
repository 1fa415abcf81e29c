list(APPEND FYREL_WIN32_SOURCES verify/signature_verifier.cpp)
