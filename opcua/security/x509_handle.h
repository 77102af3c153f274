#pragma once
// An OpenSSL certificate held by a unique_ptr, freed with X509_free.
#include <openssl/x509.h>

#include <memory>

namespace velk::ua::security {

struct X509Free {
    void operator()(X509* x) const { X509_free(x); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;

}  // namespace velk::ua::security
