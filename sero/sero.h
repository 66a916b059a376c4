// The certificate library: parser, certificate objects, fingerprints,
// extension parsers and the secure memory globals.
#pragma once

#include "sero-certificate.h"
#include "sero-certificate-extensions.h"
#include "sero-fingerprint.h"
#include "sero-oids.h"
#include "sero-parser.h"
#include "sero-secmem.h"
#include "sero-simple-certificate.h"
#include "tabo.h"
