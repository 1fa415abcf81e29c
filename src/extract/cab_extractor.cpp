#include "extract/cab_extractor.h"

namespace fyrel {

// Placeholder until the extraction worker lands.
CabExtractor::CabExtractor() noexcept = default;
CabExtractor::~CabExtractor() { stop(); }
bool CabExtractor::start(const std::string&, const std::string&) { return false; }
void CabExtractor::stop() {}
bool CabExtractor::isRunning() const noexcept { return running_.load(std::memory_order_acquire); }
bool CabExtractor::succeeded() const noexcept { return succeeded_.load(std::memory_order_acquire); }
std::uint32_t CabExtractor::totalBytes() const noexcept { return totalBytes_.load(std::memory_order_acquire); }
std::uint32_t CabExtractor::extractedBytes() const noexcept { return extractedBytes_.load(std::memory_order_acquire); }

}  // namespace fyrel
