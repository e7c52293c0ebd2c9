// Writes the generated part of the fuzz seed corpus: make_seeds <corpus directory>
// fills <dir>/aml, <dir>/png and <dir>/jpeg (which must exist) with small files made by
// the project's own writers, plus edge cases those writers cannot make. Material seeds
// are the committed data/materials/*.mat and hand-written files.
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "PngFixture.h"
#include "aml/AmlWriter.h"
#include "images/Image.h"

namespace {

using Bytes = std::vector<uint8_t>;
std::string corpus;

Bytes ramp(size_t count) {
  Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = uint8_t(i * 37 + 11);
  return bytes;
}

void writeBytes(const std::string& path, const std::string& bytes) {
  if (!aml::writeFile(corpus + "/" + path, bytes))
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
}

std::string readBytes(const std::string& path) {
  std::string bytes;
  if (std::FILE* file = std::fopen((corpus + "/" + path).c_str(), "rb")) {
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, count);
    std::fclose(file);
  }
  return bytes;
}

// ---- AML ----

aml::MeshData triangle(std::vector<aml::Attribute> extra, int extraWords) {
  aml::MeshData mesh;
  mesh.attributes = {{aml::kPositionIndex, 1}};
  mesh.attributes.insert(mesh.attributes.end(), extra.begin(), extra.end());
  mesh.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  for (uint32_t v = 0; v < 3; ++v) {
    mesh.vertexWords.push_back(v);
    for (int w = 0; w < extraWords; ++w)
      mesh.vertexWords.push_back(aml::floatWord(0.25f * (v + w)));
  }
  mesh.triangles = {0, 1, 2};
  return mesh;
}

void writeAmlSeeds() {
  writeBytes("aml/empty.aml", aml::header(0));
  aml::MeshData lit = triangle({{aml::kNormal, 3}, {aml::kTexCoord0, 2}}, 5);
  writeBytes("aml/triangle.aml", aml::writeAml({lit}));
  aml::MeshData quad = lit;
  quad.positions.insert(quad.positions.end(), {1, 1, 0});
  quad.addVertex(3, {0, 0, 1, 1, 1});
  quad.triangles.insert(quad.triangles.end(), {1, 3, 2});
  writeBytes("aml/two_meshes.aml", aml::writeAml({lit, quad}));
  writeBytes("aml/every_array.aml", aml::writeAml({triangle({{aml::kColor, 4},
                                                             {aml::kSecondaryColor, 3},
                                                             {aml::kTexCoord0, 1},
                                                             {aml::kTexCoord0 + 3, 3},
                                                             {aml::kTexCoord0 + 7, 4},
                                                             {3, 0},
                                                             {15, 2}},
                                                            17)}));
  writeBytes("aml/bare.aml", aml::writeAml({triangle({}, 0)}));
  // Refused: a stored position slot, a two-component colour, a cut-off mesh.
  writeBytes("aml/stored_position.aml", aml::writeAml({triangle({{0, 2}}, 2)}));
  writeBytes("aml/narrow_colour.aml", aml::writeAml({triangle({{aml::kColor, 2}}, 2)}));
  std::string whole = aml::writeAml({lit});
  writeBytes("aml/truncated.aml", whole.substr(0, whole.size() - 5));
}

// ---- PNG ----

// The tests' libpng writer, into the corpus; palettes get 16 entries.
bool writeSeedPng(const std::string& path, int width, int height, int bitDepth, int colourType,
                  const Bytes& rows, int interlace = PNG_INTERLACE_NONE) {
  const int paletteSize = colourType == PNG_COLOR_TYPE_PALETTE ? 16 : 0;
  return writeRawPng(corpus + "/" + path, width, height, bitDepth, colourType, rows, paletteSize,
                     interlace);
}

void writePngSeeds() {
  for (int channels : {1, 3, 4}) {
    Bytes pixels = ramp(5 * 3 * channels);
    ImageBuffer image{5, 3, channels, channels, 5 * channels, pixels.data()};
    write_png((corpus + "/png/c" + std::to_string(channels) + ".png").c_str(), image);
  }
  writeSeedPng("png/palette4.png", 4, 2, 4, PNG_COLOR_TYPE_PALETTE, ramp(4));
  writeSeedPng("png/grey1.png", 9, 2, 1, PNG_COLOR_TYPE_GRAY, ramp(4));
  writeSeedPng("png/grey_alpha.png", 3, 3, 8, PNG_COLOR_TYPE_GRAY_ALPHA, ramp(18));
  writeSeedPng("png/rgb16.png", 3, 2, 16, PNG_COLOR_TYPE_RGB, ramp(36));
  writeSeedPng("png/rgba16_adam7.png", 9, 9, 16, PNG_COLOR_TYPE_RGB_ALPHA, ramp(9 * 9 * 8),
               PNG_INTERLACE_ADAM7);
  // A header claiming 100000 x 100000 over one pixel's data, with its CRC made right.
  std::string huge = readBytes("png/c1.png");
  const size_t type = 12;
  for (int i = 0; i < 4; ++i)
    huge[type + 4 + i] = huge[type + 8 + i] = char(100000 >> (24 - 8 * i));
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(huge.data() + type), 17);
  for (int i = 0; i < 4; ++i) huge[type + 17 + i] = char(crc >> (24 - 8 * i));
  writeBytes("png/huge_header.png", huge);
}

// ---- JPEG ----

void writeJpeg(const std::string& path, int width, int height, J_COLOR_SPACE space, int components,
               bool progressive, bool adobe) {
  jpeg_compress_struct encoder;
  jpeg_error_mgr errors;
  encoder.err = jpeg_std_error(&errors);
  jpeg_create_compress(&encoder);
  std::FILE* file = std::fopen((corpus + "/" + path).c_str(), "wb");
  if (!file) return;
  jpeg_stdio_dest(&encoder, file);
  encoder.image_width = width;
  encoder.image_height = height;
  encoder.input_components = components;
  encoder.in_color_space = space;
  jpeg_set_defaults(&encoder);
  encoder.write_Adobe_marker = adobe;
  encoder.restart_in_rows = progressive ? 0 : 1;
  if (progressive) jpeg_simple_progression(&encoder);
  jpeg_set_quality(&encoder, 75, TRUE);
  jpeg_start_compress(&encoder, TRUE);
  Bytes pixels = ramp(size_t(width) * height * components);
  while (encoder.next_scanline < encoder.image_height) {
    JSAMPROW row = pixels.data() + encoder.next_scanline * width * components;
    jpeg_write_scanlines(&encoder, &row, 1);
  }
  jpeg_finish_compress(&encoder);
  jpeg_destroy_compress(&encoder);
  std::fclose(file);
}

void writeJpegSeeds() {
  writeJpeg("jpeg/grey.jpg", 16, 8, JCS_GRAYSCALE, 1, false, false);
  writeJpeg("jpeg/rgb.jpg", 17, 9, JCS_RGB, 3, false, false);
  writeJpeg("jpeg/rgb_progressive.jpg", 16, 16, JCS_RGB, 3, true, false);
  writeJpeg("jpeg/cmyk_adobe.jpg", 8, 8, JCS_CMYK, 4, false, true);
  writeJpeg("jpeg/cmyk_plain.jpg", 8, 8, JCS_CMYK, 4, false, false);
  // The frame header of a small picture claiming 65023 x 63999.
  std::string huge = readBytes("jpeg/grey.jpg");
  size_t frame = huge.find("\xFF\xC0");
  if (frame != std::string::npos) {
    huge[frame + 5] = char(0xF9), huge[frame + 6] = char(0xFF);  // height 63999
    huge[frame + 7] = char(0xFD), huge[frame + 8] = char(0xFF);  // width 65023
  }
  writeBytes("jpeg/huge_header.jpg", huge);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds <corpus directory>\n");
    return 2;
  }
  corpus = argv[1];
  writeAmlSeeds();
  writePngSeeds();
  writeJpegSeeds();
  return 0;
}
