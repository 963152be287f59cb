/* Rewrites a PNG with libpng's default settings (compression level, strategy and adaptive
 * filters all left alone), as 8-bit RGB or RGBA: the benchmark corpus's libpng-written files.
 *   png_corpus_writer IN.png OUT.png */
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: png_corpus_writer IN.png OUT.png\n");
        return 2;
    }
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, argv[1])) {
        fprintf(stderr, "png_corpus_writer: %s: %s\n", argv[1], image.message);
        return 1;
    }
    const int alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    const size_t rowBytes = (size_t)image.width * (alpha ? 4 : 3);
    png_bytep pixels = malloc(rowBytes * image.height);
    png_bytepp rows = malloc(sizeof(png_bytep) * image.height);
    if (!pixels || !rows || !png_image_finish_read(&image, NULL, pixels, 0, NULL)) {
        fprintf(stderr, "png_corpus_writer: cannot read %s\n", argv[1]);
        return 1;
    }
    for (png_uint_32 y = 0; y < image.height; ++y) rows[y] = pixels + y * rowBytes;

    FILE* f = fopen(argv[2], "wb");
    if (!f) {
        perror(argv[2]);
        return 1;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
    png_infop info = png ? png_create_info_struct(png) : NULL;
    if (!info || setjmp(png_jmpbuf(png))) {
        fprintf(stderr, "png_corpus_writer: cannot write %s\n", argv[2]);
        return 1;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, image.width, image.height, 8,
                 alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_set_rows(png, info, rows);
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, NULL);
    png_destroy_write_struct(&png, &info);
    free(rows);
    free(pixels);
    return fclose(f) == 0 ? 0 : 1;
}
