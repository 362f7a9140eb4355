#include "support/WaylandCompositor.h"

#include <dirent.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "support/Eventually.h"

namespace VelmoTest {

namespace {

const char* const kUser = "velmo-test";

bool Executable(const std::string& path)
{
	return access(path.c_str(), X_OK) == 0;
}

// The unprivileged user the compositor runs as when the test runs as root, created when missing.
// Null with the reason in *error.
const passwd* CompositorUser(std::string* error)
{
	if (const passwd* user = getpwnam(kUser))
		return user;
	ChildProcess useradd;
	if (!useradd.Start("/usr/sbin/useradd",
	                   {"--system", "--no-create-home", "--shell", "/usr/sbin/nologin", kUser}) ||
	    !useradd.WaitForExit(std::chrono::seconds(20))) {
		*error = "useradd did not run";
		return nullptr;
	}
	// 9: made meanwhile by another test.
	const int status = useradd.Status();
	if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 9)) {
		*error = "useradd " + std::string(kUser) + " failed";
		return nullptr;
	}
	const passwd* user = getpwnam(kUser);
	if (user == nullptr)
		*error = std::string("no user ") + kUser + " after useradd";
	return user;
}

// The socket in `directory` whose name starts with `prefix` (wayland-N beside its lock file,
// say), or "".
std::string FindFile(const std::string& directory, const std::string& prefix)
{
	std::string found;
	if (DIR* listing = opendir(directory.c_str())) {
		while (dirent* entry = readdir(listing)) {
			const std::string name = entry->d_name;
			struct stat entryStat;
			if (name.rfind(prefix, 0) == 0 &&
			    stat((directory + "/" + name).c_str(), &entryStat) == 0 &&
			    S_ISSOCK(entryStat.st_mode))
				found = directory + "/" + name;
		}
		closedir(listing);
	}
	return found;
}

} // namespace

std::unique_ptr<WaylandCompositor> WaylandCompositor::Start(Kind kind, std::string* error)
{
	return Start(kind, Options(), error);
}

std::unique_ptr<WaylandCompositor> WaylandCompositor::Start(Kind kind, const Options& options,
                                                            std::string* error)
{
	const std::string program = kind == Kind::kSway ? "/usr/bin/sway" : "/usr/bin/cage";
	if (!Executable(program)) {
		*error = program + " is not installed";
		return nullptr;
	}
	std::unique_ptr<WaylandCompositor> compositor(new WaylandCompositor);
	const std::string& runtime = compositor->fRuntime.Path();

	std::vector<std::string> command;
	if (geteuid() == 0) {
		const passwd* user = CompositorUser(error);
		if (user == nullptr)
			return nullptr;
		if (chown(runtime.c_str(), user->pw_uid, user->pw_gid) != 0) {
			*error = "cannot give the runtime directory to " + std::string(kUser);
			return nullptr;
		}
		command = {"/usr/bin/setpriv", "--reuid=" + std::to_string(user->pw_uid),
		           "--regid=" + std::to_string(user->pw_gid), "--clear-groups", "--"};
	}
	chmod(runtime.c_str(), 0700);
	if (kind == Kind::kSway) {
		// Without XWayland unless asked for: a program with DISPLAY set would take X11.
		compositor->fRuntime.WriteFile("sway.conf",
		                               std::string("output HEADLESS-1 mode 1920x1080\n") +
		                                   (options.xwayland ? "xwayland force\n"
		                                                     : "xwayland disable\n"));
		chmod(compositor->fRuntime.Join("sway.conf").c_str(), 0644);
		command.insert(command.end(), {program, "-c", compositor->fRuntime.Join("sway.conf")});
	} else {
		// cage ends with its application: one that waits as long as any test, and is ended
		// with cage when a test kills it.
		command.insert(command.end(), {program, "--", "/usr/bin/setpriv", "--pdeathsig=KILL",
		                               "--", "/bin/sleep", "3600"});
	}
	// Its log goes to a file of its own: wlroots reports the GPU and DRM devices a headless
	// machine does not have.
	const std::string log = compositor->fRuntime.Join("compositor.log");
	std::vector<std::string> arguments = {"-c", "exec \"$0\" \"$@\" 2>\"$VELMO_COMPOSITOR_LOG\""};
	arguments.insert(arguments.end(), command.begin(), command.end());
	if (!compositor->fServer.Start("/bin/sh", arguments,
	                               {{"XDG_RUNTIME_DIR", runtime},
	                                {"HOME", runtime},
	                                {"VELMO_COMPOSITOR_LOG", log},
	                                {"WLR_BACKENDS", "headless"},
	                                {"WLR_RENDERER", "pixman"},
	                                {"WLR_LIBINPUT_NO_DEVICES", "1"},
	                                {"WAYLAND_DISPLAY", ""},
	                                {"DISPLAY", ""}})) {
		*error = "cannot run " + program;
		return nullptr;
	}
	if (!Eventually(
	        [&] {
		        compositor->fSocket = FindFile(runtime, "wayland-");
		        return !compositor->fSocket.empty() || compositor->fServer.HasEnded();
	        },
	        std::chrono::seconds(20)) ||
	    compositor->fSocket.empty()) {
		*error = program + " made no socket";
		return nullptr;
	}
	// Taking connections: a screenshot of the output works.
	ImageFiles::Image image;
	if (!Eventually([&] { return compositor->Screenshot(&image, error); },
	                std::chrono::seconds(20))) {
		*error = program + " shows no output: " + *error;
		return nullptr;
	}
	if (options.xwayland && !compositor->StartXWayland(error))
		return nullptr;
	return compositor;
}

bool WaylandCompositor::StartXWayland(std::string* error)
{
	const std::string ipc = FindFile(fRuntime.Path(), "sway-ipc.");
	if (ipc.empty()) {
		*error = "sway made no IPC socket";
		return false;
	}
	// XWayland lets in its own user only: sway's own child, which has DISPLAY, lets root in and
	// tells the display.
	const std::string file = fRuntime.Join("xdisplay");
	ChildProcess swaymsg;
	if (!swaymsg.Start("/usr/bin/swaymsg",
	                   {"exec", "xhost +si:localuser:root >/dev/null && printenv DISPLAY > " + file +
	                                ".part && mv " + file + ".part " + file},
	                   {{"SWAYSOCK", ipc}}) ||
	    !swaymsg.WaitForExit(std::chrono::seconds(20))) {
		*error = "swaymsg did not run";
		return false;
	}
	if (!Eventually(
	        [&] {
		        std::ifstream in(file);
		        return static_cast<bool>(std::getline(in, fXDisplay)) && !fXDisplay.empty();
	        },
	        std::chrono::seconds(20))) {
		*error = "XWayland did not come up";
		return false;
	}
	return true;
}

WaylandCompositor::~WaylandCompositor()
{
	Kill();
}

std::map<std::string, std::string> WaylandCompositor::ClientEnvironment() const
{
	return {{"WAYLAND_DISPLAY", fSocket}, {"XDG_RUNTIME_DIR", fRuntime.Path()}};
}

bool WaylandCompositor::Run(const std::string& path, const std::vector<std::string>& arguments,
                            std::string* error, std::chrono::milliseconds timeout) const
{
	std::string ignored;
	if (error == nullptr)
		error = &ignored;
	ChildProcess client;
	if (!client.Start(path, arguments, ClientEnvironment())) {
		*error = "cannot run " + path;
		return false;
	}
	if (!client.WaitForExit(timeout)) {
		*error = path + " did not end in time";
		return false;
	}
	if (!WIFEXITED(client.Status()) || WEXITSTATUS(client.Status()) != 0) {
		*error = path + " failed (wait status " + std::to_string(client.Status()) + ")";
		return false;
	}
	return true;
}

bool WaylandCompositor::Screenshot(ImageFiles::Image* image, std::string* error) const
{
	const std::string file = fRuntime.Join("screenshot.png");
	unlink(file.c_str());
	if (!Run("/usr/bin/grim", {file}, error))
		return false;
	*image = ImageFiles::Load(file);
	if (image->width == 0) {
		if (error != nullptr)
			*error = "grim wrote no image";
		return false;
	}
	return true;
}

std::string WaylandCompositor::LogTail() const
{
	constexpr std::streamoff kTail = 2000;
	std::ifstream in(fRuntime.Join("compositor.log"), std::ios::binary | std::ios::ate);
	if (!in)
		return "";
	const std::streamoff size = in.tellg();
	in.seekg(size > kTail ? size - kTail : 0);
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WaylandCompositor::Kill()
{
	if (fServer.Reaped() || fServer.Pid() <= 0)
		return;
	fServer.Signal(SIGKILL);
	fServer.WaitForExit(std::chrono::seconds(20));
}

} // namespace VelmoTest
