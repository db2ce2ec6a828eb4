// The Linux build signs with OpenSSL's libcrypto.
#include "publish/release_signing.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <algorithm>
#include <vector>

#include "platform/owned_handle.h"

namespace corvid::publish {

namespace {

template <typename T, void (*Free)(T*)>
struct openssl_traits {
  using handle_type = T*;
  static T* none() { return nullptr; }
  static bool valid(T* object) { return object != nullptr; }
  static void close(T* object) { Free(object); }
};

using owned_key = owned_handle<openssl_traits<EVP_PKEY, EVP_PKEY_free>>;
using owned_key_context = owned_handle<openssl_traits<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using owned_digest_context = owned_handle<openssl_traits<EVP_MD_CTX, EVP_MD_CTX_free>>;
using owned_number = owned_handle<openssl_traits<BIGNUM, BN_clear_free>>;
using owned_signature = owned_handle<openssl_traits<ECDSA_SIG, ECDSA_SIG_free>>;
using owned_parameter_builder = owned_handle<openssl_traits<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>>;
using owned_parameters = owned_handle<openssl_traits<OSSL_PARAM, OSSL_PARAM_free>>;

bool openssl_failed(const char* what, std::string& error) {
  char reason[256];
  ERR_error_string_n(ERR_get_error(), reason, sizeof reason);
  ERR_clear_error();
  error = std::string("cannot ") + what + ": " + reason;
  return false;
}

bool number_bytes(const BIGNUM* number, unsigned char* bytes) { return BN_bn2binpad(number, bytes, 32) == 32; }

// A P-256 key from raw values, with its private value when one is given.
owned_key key_from(const release_public_key& public_key, const release_private_key* private_key) {
  unsigned char point[1 + sizeof(release_public_key)] = {0x04};  // uncompressed: x then y
  std::copy(public_key.begin(), public_key.end(), point + 1);
  owned_parameter_builder builder(OSSL_PARAM_BLD_new());
  owned_number secret;
  if (!builder || !OSSL_PARAM_BLD_push_utf8_string(builder.get(), OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0) ||
      !OSSL_PARAM_BLD_push_octet_string(builder.get(), OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point))
    return owned_key();
  if (private_key != nullptr) {
    secret.reset(BN_bin2bn(private_key->data(), static_cast<int>(private_key->size()), nullptr));
    if (!secret || !OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_PRIV_KEY, secret.get())) return owned_key();
  }
  owned_parameters parameters(OSSL_PARAM_BLD_to_param(builder.get()));
  owned_key_context context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  EVP_PKEY* key = nullptr;
  if (!parameters || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
      EVP_PKEY_fromdata(context.get(), &key, private_key != nullptr ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY,
                        parameters.get()) != 1)
    return owned_key();
  return owned_key(key);
}

}  // namespace

bool generate_release_key(release_key_pair& key, std::string& error) {
  owned_key made(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  if (!made) return openssl_failed("make a P-256 key", error);
  BIGNUM *secret = nullptr, *x = nullptr, *y = nullptr;
  EVP_PKEY_get_bn_param(made.get(), OSSL_PKEY_PARAM_PRIV_KEY, &secret);
  EVP_PKEY_get_bn_param(made.get(), OSSL_PKEY_PARAM_EC_PUB_X, &x);
  EVP_PKEY_get_bn_param(made.get(), OSSL_PKEY_PARAM_EC_PUB_Y, &y);
  owned_number owned_secret(secret), owned_x(x), owned_y(y);
  release_key_pair made_pair;
  if (!secret || !x || !y || !number_bytes(secret, made_pair.private_key.data()) ||
      !number_bytes(x, made_pair.public_key.data()) || !number_bytes(y, made_pair.public_key.data() + 32))
    return openssl_failed("read the new key", error);
  key = made_pair;
  return true;
}

bool sign_release_bytes(const release_key_pair& key, std::string_view bytes, ecdsa_signature& signature,
                        std::string& error) {
  owned_key signing_key = key_from(key.public_key, &key.private_key);
  if (!signing_key) return openssl_failed("take the private key", error);
  owned_digest_context context(EVP_MD_CTX_new());
  std::size_t length = 0;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, signing_key.get()) != 1 ||
      EVP_DigestSign(context.get(), nullptr, &length, data, bytes.size()) != 1)
    return openssl_failed("sign", error);
  // OpenSSL gives the signature as DER; the document carries r and s as they are.
  std::vector<unsigned char> der(length);
  if (EVP_DigestSign(context.get(), der.data(), &length, data, bytes.size()) != 1) return openssl_failed("sign", error);
  const unsigned char* next = der.data();
  owned_signature parsed(d2i_ECDSA_SIG(nullptr, &next, static_cast<long>(length)));
  const BIGNUM *r = nullptr, *s = nullptr;
  if (parsed) ECDSA_SIG_get0(parsed.get(), &r, &s);
  if (!r || !s || !number_bytes(r, signature.data()) || !number_bytes(s, signature.data() + 32))
    return openssl_failed("read the signature", error);
  return true;
}

bool release_signature_verifies(const release_public_key& key, std::string_view bytes,
                                const ecdsa_signature& signature) {
  owned_key public_key = key_from(key, nullptr);
  owned_signature parsed(ECDSA_SIG_new());
  owned_number r(BN_bin2bn(signature.data(), 32, nullptr)), s(BN_bin2bn(signature.data() + 32, 32, nullptr));
  if (!public_key || !parsed || !r || !s || ECDSA_SIG_set0(parsed.get(), r.get(), s.get()) != 1) {
    ERR_clear_error();
    return false;
  }
  r.release();  // the signature owns them now
  s.release();
  unsigned char* der = nullptr;
  int der_length = i2d_ECDSA_SIG(parsed.get(), &der);
  owned_digest_context context(EVP_MD_CTX_new());
  bool verified = der_length > 0 && context &&
                  EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, public_key.get()) == 1 &&
                  EVP_DigestVerify(context.get(), der, static_cast<std::size_t>(der_length),
                                   reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) == 1;
  OPENSSL_free(der);
  ERR_clear_error();
  return verified;
}

release_digest::release_digest() : state_(EVP_MD_CTX_new()) {
  auto* context = static_cast<EVP_MD_CTX*>(state_);
  if (context != nullptr && !EVP_DigestInit_ex(context, EVP_sha256(), nullptr)) {
    EVP_MD_CTX_free(context);
    state_ = nullptr;
  }
}

release_digest::~release_digest() { EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(state_)); }

bool release_digest::add(const void* bytes, std::size_t length) {
  return state_ != nullptr && EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(state_), bytes, length) == 1;
}

bool release_digest::finish(sha256_digest& digest) {
  unsigned int length = 0;
  bool finished = state_ != nullptr &&
                  EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(state_), digest.data(), &length) == 1 &&
                  length == digest.size();
  EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(state_));
  state_ = nullptr;
  return finished;
}

}  // namespace corvid::publish
