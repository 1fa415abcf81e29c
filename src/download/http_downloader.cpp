#include "download/http_downloader.h"

namespace fyrel {

// Placeholder until the download worker lands.
HttpDownloader::HttpDownloader() noexcept = default;
HttpDownloader::~HttpDownloader() { stop(); }
void HttpDownloader::start(const std::string&, const std::string&) { succeeded_ = false; }
void HttpDownloader::begin(const std::string&, const std::string&, const std::string&) {}
void HttpDownloader::stop() {}
bool HttpDownloader::running() const noexcept { return running_.load(std::memory_order_acquire); }
bool HttpDownloader::succeeded() const noexcept { return succeeded_.load(std::memory_order_acquire); }
std::uint32_t HttpDownloader::receivedBytes() const noexcept { return receivedBytes_.load(std::memory_order_acquire); }
std::uint32_t HttpDownloader::totalBytes() const noexcept { return totalBytes_.load(std::memory_order_acquire); }
std::uint32_t HttpDownloader::statusCode() const noexcept { return statusCode_.load(std::memory_order_acquire); }

}  // namespace fyrel
