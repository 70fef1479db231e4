// A whole host's disk files in one run (--image-list, --image-dir): each disk counted once,
// at the file a machine runs. A chain's parents and a split VMDK's extents found in the same
// sweep are folded under the disk that names them, not reported as images of their own; a
// base under several heads is listed under each; a parent no head reads is a disk of its
// own (one a refused disk names may not be its parent). A generic .img or .raw that holds no
// disk is listed apart, not counted.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "image/image_finding.h"
#include "image/sweep_listing.h"

// A file the sweep may check: named by --image or a list's line, or found in a folder.
struct SweepCandidate {
  std::string path;     // to open, where `refused` is empty
  std::string shown;    // as the report names it
  std::string refused;  // why a list's line is not opened
  std::optional<FileIdentity> identity;
  uint64_t writeTime = 0;  // 0 where not listed
  bool generic = false;
};

// Why a file is folded under another.
enum class FoldedAs {
  Parent,          // a differencing disk's parent, or one further down its chain
  Extent,          // a VMDK's extent
  ChangeTracking,  // a VMDK's change-tracking file
  InUseParent,     // the parent of a checkpoint Windows will not share: not examined
};

struct FoldedFile {
  std::string path;
  FoldedAs as = FoldedAs::Parent;
  std::vector<std::string> into;  // the disks that hold it, by their paths
};

// What the sweep itself found, beside each disk's finding.
struct Sweep {
  std::vector<std::string> lists;  // the lists named, as named
  std::vector<std::string> roots;  // the folders named, as named
  bool recurse = false;

  std::vector<FoldedFile> folded;
  std::vector<std::string> notDisks;
  std::vector<SweepNote> notExamined;  // files and folders, with why
  std::vector<SweepLink> links;
  // Every folder named or met was listed: a folder Windows will not list leaves the sweep
  // incomplete, as an unlisted volume leaves a machine's scan.
  bool Complete() const;
  // The disk files it found and did not examine (counted as not examined).
  size_t FilesNotExamined() const;
  // Every disk file named or found, each once: the `images` disks, folded, no disks, not
  // examined.
  size_t FilesFound(size_t images) const {
    return images + folded.size() + notDisks.size() + FilesNotExamined();
  }
};

struct SweptImages {
  Sweep sweep;
  std::vector<ImageFinding> images;  // the disks, in the order their files were found
};

// Told before each file is read: how many were read, of how many, and which is next.
using SweepProgress = std::function<void(size_t done, size_t total, const std::string& path)>;

// Each candidate checked once, heads first (newest first: a child is written after its
// parent), its parents and extents among the others folded under it.
SweptImages SweepImages(std::vector<SweepCandidate> candidates, const ImageOptions& options,
                        const std::vector<Target>& targets, const SweepProgress& progress);

// The base disk a Hyper-V checkpoint's name points at (`vm_<GUID>.avhdx` beside `vm.vhdx`,
// `.avhd` beside `.vhd`); none for another name.
std::optional<std::string> CheckpointBase(const std::string& path);
