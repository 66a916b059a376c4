// Hand-made certificates for the decoding tests: every field is a DER
// string that a test may replace or drop.
#pragma once

#include "tesk-test-util.h"

#include <string>

namespace tesktest {

inline std::string der_oid (const char *hexbytes)
{
  return tlv (0x06, unhex (hexbytes));
}

inline std::string rdn (const char *oid_hex, const std::string &value)
{
  return tlv (0x31, tlv (0x30, der_oid (oid_hex) + value));
}

struct CertParts {
  std::string version = tlv (0xA0, tlv (0x02, unhex ("02")));
  std::string serial = tlv (0x02, unhex ("00 C0 FF EE"));
  std::string signature = tlv (0x30, der_oid ("2A 86 48 86 F7 0D 01 01 0B") + tlv (0x05, ""));
  std::string issuer = tlv (0x30, rdn ("55 04 06", tlv (0x13, "NL")) +
                                    rdn ("55 04 03", tlv (0x0C, "Test CA")));
  std::string validity =
    tlv (0x30, tlv (0x17, "230101120000Z") + tlv (0x18, "20330101120000Z"));
  std::string subject = tlv (0x30, rdn ("55 04 0A", tlv (0x13, "Example")) +
                                     rdn ("55 04 03", tlv (0x0C, "Server")));
  std::string spki =
    tlv (0x30, tlv (0x30, der_oid ("2A 86 48 86 F7 0D 01 01 01") + tlv (0x05, "")) +
                 tlv (0x03, unhex ("00 30 03 02 01 05")));
  std::string unique_ids;
  std::string extension = tlv (0x30, der_oid ("55 1D 13") + tlv (0x01, unhex ("FF")) +
                                       tlv (0x04, tlv (0x30, tlv (0x01, unhex ("FF")))));
  std::string extensions_tag = "\xA3";
  std::string after_extensions;
  std::string sig_alg = tlv (0x30, der_oid ("2A 86 48 86 F7 0D 01 01 0B") + tlv (0x05, ""));
  std::string sig_value = tlv (0x03, unhex ("00 AB CD"));

  std::string tbs () const
  {
    std::string ext;
    if (!extension.empty ())
      ext = tlv (static_cast<unsigned char> (extensions_tag[0]), tlv (0x30, extension));
    return tlv (0x30, version + serial + signature + issuer + validity + subject + spki +
                        unique_ids + ext + after_extensions);
  }

  std::string der () const { return tlv (0x30, tbs () + sig_alg + sig_value); }
};

}  // namespace tesktest
