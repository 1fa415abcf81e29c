list(APPEND FYREL_PURE_SOURCES download/url_parts.cpp download/body_limit.cpp download/proxy_choice.cpp)
list(APPEND FYREL_WIN32_SOURCES download/http_downloader.cpp download/download_transfer.cpp
     download/system_proxy.cpp download/package_digest.cpp)
