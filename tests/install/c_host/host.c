/* A C host built against an installed Quorvel with pkg-config: encodes a synthetic print
   through the C exports, decodes it again and prints what came back. */
#include <quorvel/quorvel.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>

int main(void) {
    enum { W = 160, H = 120 };
    unsigned char* pixels = malloc(W * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) /* concentric ridges */
            pixels[y * W + x] =
                (unsigned char)(128 + 90 * sin(hypot(x - W / 2.0, y - H / 3.0) / 2.5));
    unsigned char* stream = NULL;
    int length = 0;
    WSQ_encode_stream(pixels, W, H, 0.75, 500, "c host", &stream, &length);
    unsigned char* gray = NULL;
    int w = 0, h = 0, ppi = 0;
    char* comment = NULL;
    if (stream == NULL || WSQ_decode_stream(stream, length, &gray, &w, &h, &ppi, &comment) != 1 ||
        gray == NULL) {
        fprintf(stderr, "c host: round trip failed\n");
        return 1;
    }
    printf("c host: %d bytes, %d x %d, %d ppi, comment \"%s\"\n", length, w, h, ppi, comment);
    free(comment);
    free(pixels);
    return 0;
}
