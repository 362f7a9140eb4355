// Writes the seed inputs of the fuzz targets, one folder a target below OUTPUT:
//
//   velmo-fuzz-seeds OUTPUT
//
// The status replies are laid out as StatusReplyFuzzer reads its input (a length byte, then
// what the unit sends before each poll), the terminal input as TerminalKeysFuzzer reads it. The
// image seeds are small images written with SDL and SDL_image, and a BMP whose header lies; the
// demo logo (velmo-make-logo) is added by fuzz/make-seeds.

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include <SDL.h>
#include <SDL_image.h>

namespace {

typedef std::vector<uint8_t> Bytes;

const uint8_t kPollByte = 0x90;
const size_t kClassicSize = 19;
const size_t kSecondModelSize = 27;

bool WriteFile(const std::string& path, const Bytes& bytes)
{
	FILE* file = fopen(path.c_str(), "wb");
	if (file == nullptr)
		return false;
	bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
	return fclose(file) == 0 && written;
}

// A status reply of `size` bytes with the given reply bytes' bits set, its last byte making the
// sum 0 modulo 128.
Bytes Reply(size_t size, std::vector<std::pair<size_t, int>> bits)
{
	Bytes reply(size, 0);
	reply[0] = kPollByte;
	for (const std::pair<size_t, int>& bit : bits)
		reply[bit.first] |= (uint8_t)(1 << bit.second);
	unsigned sum = 0;
	for (size_t index = 0; index + 1 < size; index++)
		sum += reply[index];
	reply[size - 1] = (uint8_t)((128 - sum % 128) % 128);
	return reply;
}

// The fuzzer's form: a length byte before what the unit sends for each poll.
Bytes Polls(const std::vector<Bytes>& replies)
{
	Bytes input;
	for (const Bytes& reply : replies) {
		input.push_back((uint8_t)reply.size());
		input.insert(input.end(), reply.begin(), reply.end());
	}
	return input;
}

bool WriteStatusSeeds(const std::string& folder)
{
	const Bytes none;
	const Bytes classic = Reply(kClassicSize, {});
	const Bytes classicEnter = Reply(kClassicSize, {{11, 3}});
	const Bytes classicBackslash = Reply(kClassicSize, {{17, 2}});
	const Bytes second = Reply(kSecondModelSize, {});
	const Bytes secondEnter = Reply(kSecondModelSize, {{21, 0}});
	const Bytes secondBoth = Reply(kSecondModelSize, {{21, 0}, {17, 2}});
	Bytes wrongHeader = classicEnter;
	wrongHeader[0] = 0x91;
	Bytes badChecksum = classicEnter;
	badChecksum[kClassicSize - 1] ^= 0x01;

	return WriteFile(folder + "/classic-keys",
	                 Polls({classic, classicEnter, classic, classicBackslash, none, classic})) &&
	       WriteFile(folder + "/second-model-keys",
	                 Polls({second, secondEnter, secondEnter, secondBoth, second})) &&
	       WriteFile(folder + "/wrong-header", Polls({classic, wrongHeader, none, classic})) &&
	       WriteFile(folder + "/bad-checksum", Polls({classic, badChecksum, none, classic})) &&
	       WriteFile(folder + "/overlong", Polls({Reply(60, {{11, 3}}), none, classic}));
}

// A 4 x 3 picture of a few colours.
SDL_Surface* SmallPicture()
{
	SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, 4, 3, 32, SDL_PIXELFORMAT_ARGB8888);
	if (surface == nullptr)
		return nullptr;
	uint32_t* pixels = static_cast<uint32_t*>(surface->pixels);
	const uint32_t colours[] = {0xff8442ff, 0x80c8aaff, 0xff000000, 0x00ffffff};
	for (int y = 0; y < 3; y++) {
		for (int x = 0; x < 4; x++)
			pixels[y * (surface->pitch / 4) + x] = colours[(x + y) % 4];
	}
	return surface;
}

void PutLittleEndian(Bytes& out, uint32_t value, int bytes)
{
	for (int index = 0; index < bytes; index++)
		out.push_back((uint8_t)(value >> (8 * index)));
}

// A 24-bit BMP header that claims 40000 x 40000 pixels, followed by only 16 bytes of them.
Bytes LyingBmp()
{
	Bytes bmp = {'B', 'M'};
	PutLittleEndian(bmp, 54 + 16, 4);
	PutLittleEndian(bmp, 0, 4);
	PutLittleEndian(bmp, 54, 4);
	PutLittleEndian(bmp, 40, 4);
	PutLittleEndian(bmp, 40000, 4);
	PutLittleEndian(bmp, 40000, 4);
	PutLittleEndian(bmp, 1, 2);
	PutLittleEndian(bmp, 24, 2);
	for (int index = 0; index < 6; index++)
		PutLittleEndian(bmp, 0, 4);
	bmp.insert(bmp.end(), 16, 0x7f);
	return bmp;
}

bool WriteImageSeeds(const std::string& folder)
{
	SDL_Surface* picture = SmallPicture();
	if (picture == nullptr)
		return false;
	bool written = IMG_SavePNG(picture, (folder + "/small.png").c_str()) == 0 &&
	               SDL_SaveBMP(picture, (folder + "/small.bmp").c_str()) == 0;
	SDL_FreeSurface(picture);
	return written && WriteFile(folder + "/lying-header.bmp", LyingBmp());
}

// The terminal's bytes after the fuzzer's chunking header: one size byte giving reads of `read`
// bytes.
Bytes Terminal(uint8_t read, const std::string& text)
{
	Bytes input = {0x00, (uint8_t)(read - 1)};
	input.insert(input.end(), text.begin(), text.end());
	return input;
}

bool WriteTerminalSeeds(const std::string& folder)
{
	return WriteFile(folder + "/arrows", Terminal(32, "\x1b[A\x1b[B\x1bOC\x1b[D\x1b[1;5A")) &&
	       WriteFile(folder + "/function-keys",
	                 Terminal(3, "\x1bOP\x1b[15~\x1b[[A\x1b[24~\x1b[3~")) &&
	       WriteFile(folder + "/utf8",
	                 Terminal(2, "gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x98\x80")) &&
	       WriteFile(folder + "/enter", Terminal(1, "yes\r\nno\r\rok\n\x7f\t\x1b")) &&
	       WriteFile(folder + "/long-lines",
	                 Terminal(16, "Reset the machine now?\nPress ENTER to continue\n\nshort"));
}

bool MakeFolder(const std::string& path)
{
	return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

} // namespace

int main(int argc, char** argv)
{
	if (argc != 2) {
		fprintf(stderr, "usage: velmo-fuzz-seeds OUTPUT\n");
		return 2;
	}
	std::string output = argv[1];
	const char* const targets[] = {"StatusReplyFuzzer", "ImageFileFuzzer", "TerminalKeysFuzzer"};
	if (!MakeFolder(output))
		return 1;
	for (const char* target : targets) {
		if (!MakeFolder(output + "/" + target)) {
			fprintf(stderr, "velmo-fuzz-seeds: cannot make %s/%s\n", output.c_str(), target);
			return 1;
		}
	}
	if (!WriteStatusSeeds(output + "/StatusReplyFuzzer") ||
	    !WriteImageSeeds(output + "/ImageFileFuzzer") ||
	    !WriteTerminalSeeds(output + "/TerminalKeysFuzzer")) {
		fprintf(stderr, "velmo-fuzz-seeds: cannot write the seeds: %s\n", SDL_GetError());
		return 1;
	}
	return 0;
}
