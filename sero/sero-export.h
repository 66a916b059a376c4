// Marks the functions and data that the certificate libraries export; the
// libraries are built with hidden visibility, so nothing else leaves them.
#pragma once

#define SERO_EXPORT __attribute__ ((visibility ("default")))
