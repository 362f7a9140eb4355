#include "interface/drm/DrmCard.h"

#include <errno.h>
#include <fcntl.h>
#include <glob.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>

#include <algorithm>

#include <xf86drm.h>
#include <xf86drmMode.h>

namespace BPrivate {

namespace {

struct ResourcesDeleter
{
	void operator()(drmModeRes* resources) const { drmModeFreeResources(resources); }
};
struct ConnectorDeleter
{
	void operator()(drmModeConnector* connector) const { drmModeFreeConnector(connector); }
};
struct EncoderDeleter
{
	void operator()(drmModeEncoder* encoder) const { drmModeFreeEncoder(encoder); }
};
struct CrtcDeleter
{
	void operator()(drmModeCrtc* crtc) const { drmModeFreeCrtc(crtc); }
};
using Resources = std::unique_ptr<drmModeRes, ResourcesDeleter>;
using Connector = std::unique_ptr<drmModeConnector, ConnectorDeleter>;
using Encoder = std::unique_ptr<drmModeEncoder, EncoderDeleter>;
using Crtc = std::unique_ptr<drmModeCrtc, CrtcDeleter>;

std::string ConnectorName(const drmModeConnector& connector)
{
	const char* type = drmModeGetConnectorTypeName(connector.connector_type);
	return std::string(type != nullptr ? type : "Unknown") + "-" +
	       std::to_string(connector.connector_type_id);
}

// The mode the screen shows now, or the one it prefers when it is off.
drmModeModeInfo ModeFor(int fd, const drmModeConnector& connector)
{
	if (Encoder encoder{drmModeGetEncoder(fd, connector.encoder_id)}) {
		Crtc crtc{drmModeGetCrtc(fd, encoder->crtc_id)};
		if (crtc && crtc->mode_valid)
			return crtc->mode;
	}
	for (int i = 0; i < connector.count_modes; i++) {
		if ((connector.modes[i].type & DRM_MODE_TYPE_PREFERRED) != 0)
			return connector.modes[i];
	}
	return connector.modes[0];
}

// A CRTC that can drive the connector and is not taken yet: the one it is on now, if free.
uint32_t CrtcFor(int fd, const drmModeRes& resources, const drmModeConnector& connector,
                 const std::vector<uint32_t>& taken)
{
	const auto isFree = [&taken](uint32_t id) {
		return id != 0 && std::find(taken.begin(), taken.end(), id) == taken.end();
	};
	if (Encoder encoder{drmModeGetEncoder(fd, connector.encoder_id)}) {
		if (isFree(encoder->crtc_id))
			return encoder->crtc_id;
	}
	for (int e = 0; e < connector.count_encoders; e++) {
		Encoder encoder{drmModeGetEncoder(fd, connector.encoders[e])};
		if (!encoder)
			continue;
		for (int c = 0; c < resources.count_crtcs; c++) {
			if ((encoder->possible_crtcs & (1u << c)) != 0 && isFree(resources.crtcs[c]))
				return resources.crtcs[c];
		}
	}
	return 0;
}

} // namespace

std::unique_ptr<DrmCard> DrmCard::OpenFirst(Refusal* refusal)
{
	glob_t found;
	std::vector<std::string> paths;
	if (glob("/dev/dri/card*", 0, nullptr, &found) == 0) {
		for (size_t i = 0; i < found.gl_pathc; i++)
			paths.emplace_back(found.gl_pathv[i]);
	}
	globfree(&found);
	refusal->cardFound = !paths.empty();
	if (paths.empty()) {
		refusal->reason = "no graphics card";
		return nullptr;
	}

	std::string reasons;
	for (const std::string& path : paths) {
		const std::string name = path.substr(path.rfind('/') + 1);
		std::string reason;
		FileDescriptor fd(open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY));
		if (!fd.IsValid()) {
			reason = strerror(errno);
		} else if (!drmIsMaster(fd.Get()) && drmSetMaster(fd.Get()) != 0) {
			// The first to open a card becomes its master; only one program drives it at a time.
			reason = "in use by another program";
		} else {
			std::unique_ptr<DrmCard> card(new DrmCard(std::move(fd)));
			card->fName = name;
			if (card->LightScreens(&reason))
				return card;
		}
		if (!reasons.empty())
			reasons += "; ";
		reasons += name + ": " + reason;
	}
	refusal->reason = reasons;
	return nullptr;
}

DrmCard::DrmCard(FileDescriptor fd) : fFd(std::move(fd)) {}

DrmCard::~DrmCard()
{
	for (const Output& output : fOutputs)
		ReleaseBuffer(output);
}

bool DrmCard::LightScreens(std::string* reason)
{
	const int fd = fFd.Get();
	Resources resources{drmModeGetResources(fd)};
	if (!resources) {
		*reason = "no display outputs";
		return false;
	}
	std::vector<uint32_t> taken;
	std::string skipped;
	for (int i = 0; i < resources->count_connectors; i++) {
		Connector connector{drmModeGetConnector(fd, resources->connectors[i])};
		if (!connector || connector->connection != DRM_MODE_CONNECTED ||
		    connector->count_modes == 0)
			continue;
		const std::string connectorName = ConnectorName(*connector);
		const drmModeModeInfo mode = ModeFor(fd, *connector);
		Output output;
		output.connectorId = connector->connector_id;
		output.crtcId = CrtcFor(fd, *resources, *connector, taken);
		output.width = mode.hdisplay;
		output.height = mode.vdisplay;
		output.mode = mode;
		std::string problem;
		if (output.crtcId == 0) {
			problem = "no display controller free";
		} else if (CreateBuffer(&output, &problem)) {
			drmModeModeInfo modeCopy = mode;
			if (drmModeSetCrtc(fd, output.crtcId, output.framebufferId, 0, 0, &output.connectorId,
			                   1, &modeCopy) != 0) {
				problem = std::string("cannot show a buffer: ") + strerror(errno);
				ReleaseBuffer(output);
			}
		}
		if (!problem.empty()) {
			// The first screen is the one the windows go to: without it, the card is no use.
			if (fOutputs.empty()) {
				*reason = connectorName + ": " + problem;
				return false;
			}
			fprintf(stderr, "drm: %s %s left as it is: %s\n", fName.c_str(), connectorName.c_str(),
			        problem.c_str());
			continue;
		}
		taken.push_back(output.crtcId);
		if (fOutputs.empty()) {
			fDescription = fName + ": " + connectorName + " " + std::to_string(output.width) + "x" +
			               std::to_string(output.height);
		}
		fOutputs.push_back(output);
	}
	if (fOutputs.empty()) {
		*reason = "no screen connected";
		return false;
	}
	return true;
}

bool DrmCard::CreateBuffer(Output* output, std::string* reason)
{
	const int fd = fFd.Get();
	uint64_t preferredDepth = 0;
	drmGetCap(fd, DRM_CAP_DUMB_PREFERRED_DEPTH, &preferredDepth);
	const bool rgb565 = preferredDepth == 16;

	struct drm_mode_create_dumb create = {};
	create.width = output->width;
	create.height = output->height;
	create.bpp = rgb565 ? 16 : 32;
	if (drmIoctl(fd, DRM_IOCTL_MODE_CREATE_DUMB, &create) != 0) {
		*reason = std::string("cannot make a buffer: ") + strerror(errno);
		return false;
	}
	output->handle = create.handle;
	if (drmModeAddFB(fd, output->width, output->height, rgb565 ? 16 : 24, create.bpp, create.pitch,
	                 create.handle, &output->framebufferId) != 0) {
		*reason = std::string("cannot use a buffer: ") + strerror(errno);
		ReleaseBuffer(*output);
		return false;
	}
	struct drm_mode_map_dumb map = {};
	map.handle = create.handle;
	void* pixels = MAP_FAILED;
	if (drmIoctl(fd, DRM_IOCTL_MODE_MAP_DUMB, &map) == 0) {
		pixels = mmap(nullptr, create.size, PROT_READ | PROT_WRITE, MAP_SHARED, fd,
		              static_cast<off_t>(map.offset));
	}
	if (pixels == MAP_FAILED) {
		*reason = std::string("cannot map a buffer: ") + strerror(errno);
		ReleaseBuffer(*output);
		return false;
	}
	output->mappedSize = create.size;
	output->buffer =
	    ScanoutBuffer{static_cast<uint8*>(pixels), static_cast<int32>(output->width),
	                  static_cast<int32>(output->height), static_cast<int32>(create.pitch),
	                  rgb565 ? ScanoutFormat::kRgb565 : ScanoutFormat::kXrgb8888};
	// Memory in the card (bochs) comes as it was left, not cleared.
	ClearScanout(output->buffer);
	return true;
}

void DrmCard::ReleaseBuffer(const Output& output)
{
	if (output.mappedSize != 0)
		munmap(output.buffer.pixels, output.mappedSize);
	if (output.framebufferId != 0)
		drmModeRmFB(fFd.Get(), output.framebufferId);
	if (output.handle != 0) {
		struct drm_mode_destroy_dumb destroy = {};
		destroy.handle = output.handle;
		drmIoctl(fFd.Get(), DRM_IOCTL_MODE_DESTROY_DUMB, &destroy);
	}
}

void DrmCard::ShowAgain()
{
	for (Output& output : fOutputs) {
		if (drmModeSetCrtc(fFd.Get(), output.crtcId, output.framebufferId, 0, 0,
		                   &output.connectorId, 1, &output.mode) != 0) {
			fprintf(stderr, "drm: %s cannot show its buffer again: %s\n", fName.c_str(),
			        strerror(errno));
		}
		// The whole of it, for drivers that scan out a copy.
		drmModeDirtyFB(fFd.Get(), output.framebufferId, nullptr, 0);
	}
}

void DrmCard::Flush(BRect area)
{
	if (!area.IsValid())
		return;
	drmModeClip clip;
	clip.x1 = static_cast<uint16_t>(area.left);
	clip.y1 = static_cast<uint16_t>(area.top);
	clip.x2 = static_cast<uint16_t>(area.right + 1);
	clip.y2 = static_cast<uint16_t>(area.bottom + 1);
	// Drivers that scan out the buffer itself do not implement this (ENOSYS): nothing to do.
	drmModeDirtyFB(fFd.Get(), fOutputs.front().framebufferId, &clip, 1);
}

} // namespace BPrivate
