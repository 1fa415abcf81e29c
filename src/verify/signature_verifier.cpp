#include "verify/signature_verifier.h"

namespace fyrel {

// Placeholder until the verifier lands.
SignatureVerifier::SignatureVerifier() noexcept = default;
SignatureVerifier::~SignatureVerifier() = default;
bool SignatureVerifier::importPublicKey(const unsigned char*, std::size_t) { return true; }
bool SignatureVerifier::verify(const std::string&) { return false; }

}  // namespace fyrel
