#include "interface/drm/ConsoleKeyboard.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <libinput.h>
#include <libudev.h>

namespace BPrivate {

namespace {

int OpenRestricted(const char* path, int flags, void*)
{
	int fd = open(path, flags | O_CLOEXEC);
	// libinput asks for writing too (keyboard LEDs); a service allowed to read input devices
	// only (systemd's DeviceAllow=char-input r) reads its keys all the same.
	if (fd < 0 && (errno == EPERM || errno == EACCES) && (flags & O_ACCMODE) == O_RDWR)
		fd = open(path, (flags & ~O_ACCMODE) | O_RDONLY | O_CLOEXEC);
	return fd < 0 ? -errno : fd;
}

void CloseRestricted(int fd, void*)
{
	close(fd);
}

const struct libinput_interface kInterface = {OpenRestricted, CloseRestricted};

} // namespace

ConsoleKeyboard::ConsoleKeyboard()
{
	if (!fTranslator.IsValid())
		return;

	fUdev = udev_new();
	if (fUdev != nullptr)
		fInput = libinput_udev_create_context(&kInterface, nullptr, fUdev);
	if (fInput == nullptr || libinput_udev_assign_seat(fInput, "seat0") != 0) {
		fprintf(stderr, "drm: cannot read the keyboards of seat0 through udev; keys are not "
		                "read\n");
		if (fInput != nullptr)
			libinput_unref(fInput);
		fInput = nullptr;
	}
}

ConsoleKeyboard::~ConsoleKeyboard()
{
	if (fInput != nullptr)
		libinput_unref(fInput);
	if (fUdev != nullptr)
		udev_unref(fUdev);
}

int ConsoleKeyboard::Descriptor() const
{
	return fInput != nullptr ? libinput_get_fd(fInput) : -1;
}

void ConsoleKeyboard::Read(std::vector<std::string>* keys)
{
	if (fInput == nullptr)
		return;
	libinput_dispatch(fInput);
	while (struct libinput_event* event = libinput_get_event(fInput)) {
		if (libinput_event_get_type(event) == LIBINPUT_EVENT_KEYBOARD_KEY) {
			struct libinput_event_keyboard* key = libinput_event_get_keyboard_event(event);
			fTranslator.KeyChanged(
			    libinput_event_keyboard_get_key(key),
			    libinput_event_keyboard_get_key_state(key) == LIBINPUT_KEY_STATE_PRESSED, keys);
		}
		libinput_event_destroy(event);
	}
}

} // namespace BPrivate
