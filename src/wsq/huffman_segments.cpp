// DHT segments: one or more Huffman tables (id, 16 length counts, symbol values) per segment.
#include <cstdlib>
#include <cstring>

#include "wsq/diag.h"
#include "wsq/error_codes.h"
#include "wsq/stream.h"

namespace quorvel::wsq {

int getc_huffman_table(unsigned char* otable_id, unsigned char** ohuffbits,
                       unsigned char** ohuffvalues, int max_huffcounts, InputCursor& in,
                       bool read_table_len, int* bytes_left) {
    if (read_table_len) {
        unsigned short length;
        if (int ret = getc_u16(&length, in)) return ret;
        *bytes_left = length - 2;
    }
    if (*bytes_left <= 0) {
        diag("ERROR : getc_huffman_table : ");
        diag("no huffman table bytes remaining\n");
        return kHuffTableNoBytes;
    }
    unsigned char table_id;
    if (int ret = getc_byte(&table_id, in)) return ret;
    *bytes_left -= 1;

    unsigned char* huffbits = static_cast<unsigned char*>(std::calloc(MAX_HUFFBITS, 1));
    if (huffbits == nullptr) {
        diag("ERROR : getc_huffman_table : calloc : huffbits\n");
        return kHuffTableNoMemoryBits;
    }
    if (int ret = getc_bytes(huffbits, MAX_HUFFBITS, in)) {
        std::free(huffbits);
        return ret;
    }
    *bytes_left -= MAX_HUFFBITS;
    int num_hufvals = 0;
    for (int i = 0; i < MAX_HUFFBITS; ++i) num_hufvals += huffbits[i];
    if (num_hufvals > max_huffcounts + 1) {
        diag("ERROR : getc_huffman_table : ");
        diag("num_hufvals (%d) is larger", num_hufvals);
        diag("than MAX_HUFFCOUNTS (%d)\n", max_huffcounts + 1);
        std::free(huffbits);
        return kHuffTableTooManyValues;
    }
    unsigned char* huffvalues =
        static_cast<unsigned char*>(std::calloc(static_cast<size_t>(max_huffcounts) + 1, 1));
    if (huffvalues == nullptr) {
        diag("ERROR : getc_huffman_table : calloc : huffvalues\n");
        std::free(huffbits);
        return kHuffTableNoMemoryValues;
    }
    if (int ret = getc_bytes(huffvalues, num_hufvals, in)) {
        std::free(huffbits);
        std::free(huffvalues);
        return ret;
    }
    *bytes_left -= num_hufvals;
    *otable_id = table_id;
    *ohuffbits = huffbits;
    *ohuffvalues = huffvalues;
    return 0;
}

namespace {

// Copies one table into its slot; ids without a slot are refused.
int store_table(WsqHuffmanTable* tables, unsigned char table_id, unsigned char* huffbits,
                unsigned char* huffvalues) {
    if (table_id >= MAX_DHT_TABLES) {
        diag("ERROR : getc_huffman_table_wsq : huffman table ID = %d is not 0 to %d\n", table_id,
             MAX_DHT_TABLES - 1);
        std::free(huffbits);
        std::free(huffvalues);
        return kHuffTableIdOutOfRange;
    }
    WsqHuffmanTable& slot = tables[table_id];
    std::memcpy(slot.huffbits, huffbits, MAX_HUFFBITS);
    std::memcpy(slot.huffvalues, huffvalues, MAX_HUFFCOUNTS_WSQ + 1);
    slot.defined = 1;
    std::free(huffbits);
    std::free(huffvalues);
    return 0;
}

}  // namespace

int getc_huffman_table_wsq(WsqHuffmanTable* tables, InputCursor& in) {
    unsigned char table_id;
    unsigned char* huffbits;
    unsigned char* huffvalues;
    int bytes_left = 0;
    if (int ret = getc_huffman_table(&table_id, &huffbits, &huffvalues, MAX_HUFFCOUNTS_WSQ, in,
                                     true, &bytes_left))
        return ret;
    if (int ret = store_table(tables, table_id, huffbits, huffvalues)) return ret;

    while (bytes_left != 0) {
        if (int ret = getc_huffman_table(&table_id, &huffbits, &huffvalues, MAX_HUFFCOUNTS_WSQ, in,
                                         false, &bytes_left))
            return ret;
        if (table_id < MAX_DHT_TABLES && tables[table_id].defined) {
            diag("ERROR : getc_huffman_table_wsq : ");
            diag("huffman table ID = %d already defined\n", table_id);
            std::free(huffbits);
            std::free(huffvalues);
            return kHuffTableRedefined;
        }
        if (int ret = store_table(tables, table_id, huffbits, huffvalues)) return ret;
    }
    return 0;
}

int putc_huff_table(unsigned short marker, int table_id, const unsigned char* huffbits,
                    const unsigned char* huffvalues, OutputBuffer& out) {
    int values = 0;
    for (int i = 0; i < MAX_HUFFBITS; ++i) values += huffbits[i];
    if (int ret = putc_u16(marker, out)) return ret;
    if (int ret = putc_u16(static_cast<unsigned short>(19 + values), out)) return ret;
    if (int ret = putc_byte(static_cast<unsigned char>(table_id), out)) return ret;
    if (int ret = putc_bytes(huffbits, MAX_HUFFBITS, out)) return ret;
    return putc_bytes(huffvalues, values, out);
}

}  // namespace quorvel::wsq
