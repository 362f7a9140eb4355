// Draws the project's own demo logo and writes it as a 24-bit BMP file: a purple ring around a
// "V" on black, 200 x 200 pixels.
//
//   velmo-make-logo FILE

#include <math.h>
#include <stdint.h>
#include <stdio.h>

#include <vector>

namespace {

const int kSize = 200;

struct Colour {
	uint8_t red, green, blue;
};

const Colour kBlack = {0, 0, 0};
const Colour kPurple = {132, 66, 255};
const Colour kLight = {200, 170, 255};

// Distance from (x, y) to the segment (ax, ay)-(bx, by).
double
SegmentDistance(double x, double y, double ax, double ay, double bx, double by)
{
	double dx = bx - ax;
	double dy = by - ay;
	double t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy);
	t = t < 0 ? 0 : (t > 1 ? 1 : t);
	return hypot(x - (ax + t * dx), y - (ay + t * dy));
}

Colour
PixelAt(int x, int y)
{
	double cx = x + 0.5 - kSize / 2.0;
	double cy = y + 0.5 - kSize / 2.0;
	double radius = hypot(cx, cy);
	if (radius > 86 && radius < 98)
		return kPurple;
	double px = x + 0.5;
	double py = y + 0.5;
	if (SegmentDistance(px, py, 55, 50, 100, 150) < 9
		|| SegmentDistance(px, py, 145, 50, 100, 150) < 9)
		return kLight;
	return kBlack;
}

void
PutLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
	for (int i = 0; i < bytes; i++)
		out.push_back((value >> (8 * i)) & 0xff);
}

} // namespace

int
main(int argc, char** argv)
{
	if (argc != 2) {
		fprintf(stderr, "usage: %s FILE\n", argv[0]);
		return 2;
	}

	const int rowSize = (kSize * 3 + 3) & ~3;
	const uint32_t pixelBytes = rowSize * kSize;
	std::vector<uint8_t> file;
	file.push_back('B');
	file.push_back('M');
	PutLittleEndian(file, 14 + 40 + pixelBytes, 4);
	PutLittleEndian(file, 0, 4);
	PutLittleEndian(file, 14 + 40, 4);
	PutLittleEndian(file, 40, 4);     // info header size
	PutLittleEndian(file, kSize, 4);  // width
	PutLittleEndian(file, kSize, 4);  // height, bottom-up
	PutLittleEndian(file, 1, 2);      // planes
	PutLittleEndian(file, 24, 2);     // bits a pixel
	PutLittleEndian(file, 0, 4);      // no compression
	PutLittleEndian(file, pixelBytes, 4);
	PutLittleEndian(file, 2835, 4);   // 72 dpi
	PutLittleEndian(file, 2835, 4);
	PutLittleEndian(file, 0, 4);
	PutLittleEndian(file, 0, 4);
	for (int y = kSize - 1; y >= 0; y--) {
		for (int x = 0; x < kSize; x++) {
			Colour colour = PixelAt(x, y);
			file.push_back(colour.blue);
			file.push_back(colour.green);
			file.push_back(colour.red);
		}
		for (int pad = kSize * 3; pad < rowSize; pad++)
			file.push_back(0);
	}

	FILE* out = fopen(argv[1], "wb");
	if (out == NULL || fwrite(file.data(), 1, file.size(), out) != file.size()
		|| fclose(out) != 0) {
		perror(argv[1]);
		return 1;
	}
	return 0;
}
