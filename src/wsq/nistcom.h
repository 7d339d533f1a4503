// The NIST_COM attribute list: name/value pairs, their text form (one "name value" a line),
// the attributes every encoded stream carries, and the resolution lookup of the decoder.
#pragma once

#include "wsq/stream.h"

namespace quorvel::wsq {

struct FetList {
    int capacity;
    int count;
    char** names;   // owned, NUL-terminated
    char** values;  // owned, NUL-terminated, or null for an attribute without a value
};

inline constexpr const char* NISTCOM_NAME = "NIST_COM";
// Longest name or value that string2fet keeps; longer ones are refused.
inline constexpr int MAX_FET_LENGTH = 511;

int allocfet_ret(FetList** ofet, int numfeatures);
int reallocfet_ret(FetList** ofet, int newlen);
int updatefet_ret(const char* feature, const char* value, FetList* fet);
int extractfet_ret(char** ovalue, const char* feature, const FetList* fet);
int lookupfet(char** ovalue, const char* feature, const FetList* fet);
int fet2string(char** ostr, const FetList* fet);
int string2fet(FetList** ofet, const char* istr);
void release_fet(FetList* fet);

int combine_nistcom(FetList** onistcom, int w, int h, int d, int ppi, int lossyflag);
int add_wsq_attributes(FetList** onistcom, int w, int h, int d, int ppi, int lossyflag,
                       float r_bitrate);
// Appends the NIST_COM COM segment and, for a comment not beginning with "NIST_COM", a second
// COM segment holding the comment.
int put_wsq_comments(const char* comment, int w, int h, int d, int ppi, int lossyflag,
                     float r_bitrate, OutputBuffer& out);
// Resolution from the first NIST_COM comment: -1 when there is none or it has no value.
int find_ppi_mem(int* oppi, const unsigned char* data, int len);

}  // namespace quorvel::wsq
