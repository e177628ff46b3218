#include "sg_nodes.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <scsi/scsi.h>
#include <scsi/scsi_ioctl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bridge::sg {
namespace {

constexpr unsigned CdRomMajor = 11;
constexpr unsigned GenericMajor = 21;
// SG_IO's host status for a command its time limit ended, and the driver status bits of one
// the driver gave up on.
constexpr uint16_t HostTimedOut = 0x03;
constexpr uint16_t DriverTimedOut = 0x06;

// "sg12" -> 12; -1 for another name.
int numberAfter(const std::string& name, const char* prefix) {
    const std::size_t length = std::strlen(prefix);
    if (name.compare(0, length, prefix) != 0 || name.size() == length || name.size() > length + 6) {
        return -1;
    }
    int number = 0;
    for (std::size_t i = length; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return -1;
        }
        number = number * 10 + (name[i] - '0');
    }
    return number;
}

void setAddress(Node& node, unsigned host, unsigned channel, unsigned target, unsigned lun) {
    char text[48];
    std::snprintf(text, sizeof text, "%u:%u:%u:%u", host, channel, target, lun);
    node.address = text;
    node.drive.addressed = true;
    node.drive.port = static_cast<uint8_t>(host);
    node.drive.path = static_cast<uint8_t>(channel);
    node.drive.target = static_cast<uint8_t>(target);
    node.drive.lun = static_cast<uint8_t>(lun);
}

// The device tree names a SCSI device by its address: .../host0/target0:0:1/0:0:1:0.
void addressFromTree(Node& node, const std::string& link) {
    char resolved[PATH_MAX];
    if (::realpath(link.c_str(), resolved) == nullptr) {
        return;
    }
    const char* name = std::strrchr(resolved, '/');
    unsigned h, c, t, l;
    char rest;
    if (name != nullptr && std::sscanf(name + 1, "%u:%u:%u:%u%c", &h, &c, &t, &l, &rest) == 4) {
        setAddress(node, h, c, t, l);
        node.inTree = true;
    }
}

class SgDevice : public Device {
public:
    explicit SgDevice(int fd) : fd_(fd) {}
    ~SgDevice() override { ::close(fd_); }

    Outcome execute(const Command& c) override {
        sg_io_hdr h{};
        h.interface_id = 'S';
        h.cmd_len = c.cdbLength;
        h.cmdp = const_cast<unsigned char*>(c.cdb);
        h.dxfer_direction = c.direction == aspi::trace::Direction::In    ? SG_DXFER_FROM_DEV
                            : c.direction == aspi::trace::Direction::Out ? SG_DXFER_TO_DEV
                                                                         : SG_DXFER_NONE;
        h.dxfer_len = c.length;
        h.dxferp = c.data;
        h.mx_sb_len = sizeof sense_;
        h.sbp = sense_;
        h.timeout = c.limitMs;
        Outcome o;
        // A signal never reaches this thread (the worker blocks them): the call returns when
        // the command has ended.
        if (::ioctl(fd_, SG_IO, &h) < 0) {
            o.error = errno;
            o.gone = errno == ENODEV || errno == ENXIO;
            return o;
        }
        o.hostStatus = h.host_status;
        o.driverStatus = h.driver_status;
        o.timedOut = h.host_status == HostTimedOut || (h.driver_status & 0x0F) == DriverTimedOut;
        // Any other word of the host adapter: the command did not get through.
        o.delivered = h.host_status == 0 || o.timedOut;
        o.scsiStatus = h.status;
        o.senseLength = h.sb_len_wr;
        o.sense = sense_;
        const int resid = h.resid < 0 ? 0 : h.resid;
        o.transferred = static_cast<uint32_t>(resid) < c.length ? c.length - resid : 0;
        return o;
    }

private:
    int fd_;
    uint8_t sense_[SenseCapacity] = {};
};

Refusal refusalFor(int error) {
    switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return Refusal::Absent;
    case EACCES:
    case EPERM:
    case EROFS:
        return Refusal::Permission;
    case EBUSY:
        return Refusal::Busy;
    default:
        return Refusal::Other;
    }
}

} // namespace

std::vector<Node> listNodes(const std::string& folder) {
    std::vector<std::pair<int, Node>> generic, cdrom;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            Node node;
            node.path = folder + "/" + name;
            if (const int n = numberAfter(name, "sg"); n >= 0) {
                node.kind = NodeKind::Generic;
                addressFromTree(node, "/sys/class/scsi_generic/" + name + "/device");
                generic.emplace_back(n, node);
            } else if (const int m = numberAfter(name, "sr"); m >= 0) {
                node.kind = NodeKind::CdRom;
                addressFromTree(node, "/sys/class/block/" + name + "/device");
                cdrom.emplace_back(m, node);
            }
        }
        ::closedir(dir);
    }
    const auto byNumber = [](const auto& a, const auto& b) { return a.first < b.first; };
    std::sort(generic.begin(), generic.end(), byNumber);
    std::sort(cdrom.begin(), cdrom.end(), byNumber);
    std::vector<Node> nodes;
    for (auto* list : {&generic, &cdrom}) {
        for (auto& entry : *list) {
            nodes.push_back(std::move(entry.second));
        }
    }
    return nodes;
}

Opened open(Node& node) {
    Opened opened;
    const int fd = ::open(node.path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        opened.error = errno;
        opened.refusal = refusalFor(errno);
        return opened;
    }
    struct stat st;
    int version = 0;
    if (::fstat(fd, &st) != 0 || (!S_ISCHR(st.st_mode) && !S_ISBLK(st.st_mode)) ||
        ::ioctl(fd, SG_GET_VERSION_NUM, &version) < 0) {
        // Not a device that takes SCSI commands.
        ::close(fd);
        opened.refusal = Refusal::NotScsi;
        return opened;
    }
    const unsigned major = ::major(st.st_rdev);
    node.kind = S_ISBLK(st.st_mode) && major == CdRomMajor     ? NodeKind::CdRom
                : S_ISCHR(st.st_mode) && major == GenericMajor ? NodeKind::Generic
                                                               : NodeKind::Other;
    struct {
        uint32_t idLun;
        uint32_t hostUnique;
    } id{};
    if (node.address.empty() && ::ioctl(fd, SCSI_IOCTL_GET_IDLUN, &id) == 0) {
        setAddress(node, id.idLun >> 24, (id.idLun >> 16) & 0xFF, id.idLun & 0xFF,
                   (id.idLun >> 8) & 0xFF);
    }
    opened.device.reset(new SgDevice(fd));
    return opened;
}

bool passesWriteBuffer(const Node& node) {
    if (node.kind != NodeKind::CdRom) {
        return true;
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    return (data[CAP_SYS_RAWIO / 32].effective & (1u << (CAP_SYS_RAWIO % 32))) != 0;
}

std::string fileIdentity(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        return std::string();
    }
    char text[64];
    std::snprintf(text, sizeof text, "%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    return text;
}

} // namespace bridge::sg
