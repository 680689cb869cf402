// FITS files through cfitsio. FITS stores the bottom row first: FITS row 1
// is our row 511, so that ds9 shows an image the way quenz-view does.
#pragma once
#include "imgclass/core/imgbase.h"
#include "imgclass/formats/region.h"

class bild16;
class bildfloat;

namespace quenz {

// A bild16 as BITPIX 16 with BZERO 32768 and BSCALE 1 (unsigned 16-bit),
// a bildfloat as BITPIX -32; all or nothing ("Cannot write to <name>").
void write_fits(const char* name, const bild16_base& img);
void write_fits(const char* name, const bildfloat_base& img);

// Reads the image of HDU `hdu` (1 is the primary HDU), BZERO and BSCALE
// applied. NAXIS must be 2, or 3 with NAXIS3 = 1; tile-compressed images
// are refused. The file is walked and checked before cfitsio sees the
// image (fits_header.h); `name` is a file name, literally.
// Into a bild16 every value must be a whole number in 0..65535, otherwise
// the first offending pixel is named; a bildfloat takes the float nearest
// to each value. A refused or broken file leaves the image unchanged.
// With a region (region.h) the image may be larger; its rows count from
// the top, as the image shows them (FITS row 1 is the bottom one).
void read_fits(const char* name, bild16& img, int hdu = 1, const Region& r = {});
void read_fits(const char* name, bildfloat& img, int hdu = 1, const Region& r = {});

// Reads plane `plane` (counted from 0) of the cube in HDU `hdu`: NAXIS 2
// or more, each plane 512 x 512 pixels (fits_header.h, extract_plane);
// otherwise as read_fits.
void read_fits_plane(const char* name, bild16& img, int hdu, long long plane, const Region& r = {});
void read_fits_plane(const char* name, bildfloat& img, int hdu, long long plane, const Region& r = {});

}  // namespace quenz
