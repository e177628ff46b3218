// The Linux side of the bridge inside a program: the SCSI devices the system shows as SCSI
// generic nodes (/dev/sgN) and CD-ROM nodes (/dev/srN), opened for reading and writing, each
// command carried out with the SG_IO ioctl and its time limit.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "inprocess.h"

namespace bridge::sg {

enum class NodeKind { Generic, CdRom, Other };

// One node of a SCSI device.
struct Node {
    std::string path;
    NodeKind kind = NodeKind::Other;
    // Its SCSI address (host, channel, target, LUN) as "H:C:T:L" and in `drive`, where the
    // system tells it; empty otherwise.
    std::string address;
    Drive drive;
    // The address came from the system's device tree (a real SCSI device, whatever node of it
    // is opened), not from the device itself.
    bool inTree = false;
};

// The sgN and srN nodes in `folder`, SCSI generic ones first, each kind by number; the address
// of each from the system's device tree where it has one.
std::vector<Node> listNodes(const std::string& folder);

enum class Refusal { None, Absent, Permission, Busy, NotScsi, Other };

struct Opened {
    std::unique_ptr<Device> device;
    Refusal refusal = Refusal::None;
    int error = 0;
};

// Opens the node for reading and writing (a tray without a disc does not stop it), finds its
// kind and, where the device tree did not tell it, its address from the device.
Opened open(Node& node);

// Whether the kernel lets WRITE BUFFER through this node: a CD-ROM node passes it only for a
// process with CAP_SYS_RAWIO.
bool passesWriteBuffer(const Node& node);

// Identifies the node's file for whoever needs a name for it that stays the same (device and
// inode numbers).
std::string fileIdentity(const std::string& path);

} // namespace bridge::sg
