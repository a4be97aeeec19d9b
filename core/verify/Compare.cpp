// One in-scope card file against its candidate copies: gathers the evidence the verdicts need,
// as far as the check level asks and no further, and words the outcome.
#include "verify/Verifier.h"

#include "anatomy/Anatomy.h"
#include "capture/CaptureReader.h"
#include "match/Candidates.h"
#include "match/ContentReader.h"
#include "match/NameKey.h"
#include "platform/Errors.h"
#include "platform/LongPath.h"
#include "platform/PageCache.h"
#include "report/Join.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <future>
#include <set>
#include <system_error>

namespace halvetrop {

namespace {

constexpr int64_t gateK = 32;
constexpr int64_t wideSearchMinSize = 1048576;
constexpr size_t wideSearchMax = 16;
constexpr size_t sameNameOtherSizeMax = 4;

std::string phrase(const PairVerdict& v) {
    switch (v.kind) {
        case PairVerdict::Kind::unreadableCopy: return " can't be read";
        case PairVerdict::Kind::incomplete: return " is incomplete (copy was cut short)";
        case PairVerdict::Kind::edited: return " is an edited version, not the original";
        case PairVerdict::Kind::damaged: return " is damaged (content differs)";
        case PairVerdict::Kind::different:
            if (v.reason.kind == DifferenceReason::Kind::otherShot)
                return " is a different shot (taken " + v.reason.takenAt + ")";
            break;
        default: break;
    }
    return " has the same name but different content";
}

int codeOf(int code) { return code != 0 ? code : EIO; }

// The card's read on a thread of its own, so that the card and the backup (different devices) are
// both kept busy. With no thread to be had, the card is read when its result is asked for, after
// the backup, as it would be without the overlap.
template <typename Read>
auto startOrDefer(Read read) -> std::future<decltype(read())> {
    try {
        return std::async(std::launch::async, read);
    } catch (const std::system_error&) {
        return std::async(std::launch::deferred, read);
    }
}

// A file system object: (st_dev, st_ino); {0, 0} when not known.
struct ObjectID {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool known() const { return inode != 0; }
    friend bool operator==(const ObjectID&, const ObjectID&) = default;
};

// The number of physical drives that hold a qualifying copy. Ids that share a disk (a volume
// spread over several disks) are merged into one drive; one file system object reached through
// two roots is one copy; and when the card's own drive is not known, no copy can be shown to lie
// apart from it, so none counts.
int64_t countSafeDrives(const std::vector<Location>& locations, const std::vector<ObjectID>& objects,
                        const SafeToFormatPolicy& policy, const PhysicalDriveID& sourceDrive) {
    if (unknownDrive(sourceDrive)) return 0;
    std::vector<PhysicalDriveID> drives;
    std::vector<ObjectID> counted;
    for (size_t i = 0; i < locations.size(); ++i) {
        if (qualifyingDrives(std::span<const Location>(&locations[i], 1), policy, sourceDrive).empty()) continue;
        const ObjectID object = i < objects.size() ? objects[i] : ObjectID{};
        if (object.known()) {
            if (std::find(counted.begin(), counted.end(), object) != counted.end()) continue;
            counted.push_back(object);
        }
        drives.push_back(locations[i].drive);
    }
    // Connected groups of ids under "shares a disk".
    std::vector<size_t> group(drives.size());
    for (size_t i = 0; i < group.size(); ++i) group[i] = i;
    auto find = [&](size_t i) {
        while (group[i] != i) i = group[i] = group[group[i]];
        return i;
    };
    for (size_t i = 0; i < drives.size(); ++i)
        for (size_t j = i + 1; j < drives.size(); ++j)
            if (sharesDrive(drives[i], drives[j])) group[find(i)] = find(j);
    int64_t count = 0;
    for (size_t i = 0; i < group.size(); ++i)
        if (find(i) == i) ++count;
    return count;
}

}  // namespace

std::pair<FileResult, std::vector<Location>> Verifier::compare(int64_t id, const Item& item,
                                                               const CompareContext& ctx) const {
    const DestIndex& ix = *ctx.index;
    const bool verifiedLevel = ctx.request.level == CheckLevel::verified;

    FileResult r = startingResult(id, item, true);
    const std::string cardPath = join(ctx.request.source, item.rawRel);

    std::vector<Location> locations;
    if (item.dataless) {
        r.status = FileStatus::unreadable;
        r.detail = "This file is only a cloud placeholder on the source";
        return {std::move(r), std::move(locations)};
    }

    SourceFile src;
    src.id = id;
    src.name = item.name;
    src.nameKey = NameKey::hash(item.name);
    src.keysNameFirst.push_back(src.nameKey);
    {
        const std::vector<std::string_view> parts = pathComponents(item.folder);
        for (auto it = parts.rbegin(); it != parts.rend(); ++it) src.keysNameFirst.push_back(NameKey::hash(*it));
    }
    src.size = item.size;
    src.extID = ctx.extTable->id(item.name);
    src.mtimeNs = item.mtimeNs;
    if (item.capture) src.capture = item.capture->identity();

    const Candidates cands = candidates(src, ix, gateK);
    std::vector<uint32_t> rows = cands.named;
    rows.insert(rows.end(), cands.renamed.begin(), cands.renamed.end());
    if (rows.empty() && item.size >= wideSearchMinSize) {
        for (uint32_t row : ix.rowsOfSize(item.size)) {
            if (rows.size() >= wideSearchMax) break;
            if (ix.extID()[row] == src.extID && ix.nameKey()[row] != src.nameKey) rows.push_back(row);
        }
    }

    // The card file is read only as the object the scan found, through the mount it listed.
    const FileAt cardFile{cardPath, HeldObject{item.device, item.fileID, ctx.cardMount}};
    bool cardReplaced = false;
    // Backups whose copy of this file was not read for being reached through another mount.
    std::set<RootID> notConnected;

    auto cancelledCheck = [this] { return isCancelled(); };
    PageCache::MediumAnswers* const medium = ctx.medium.get();
    AccessTimesTouched& cardTouched = *ctx.cardAccessTimes;
    // A backup folder inside the card is the card too; elsewhere on the card's file system it is not.
    auto touchedAt = [&](uint32_t row) -> AccessTimesTouched& {
        const RootID root = ix.root(row);
        return root.raw < ctx.insideCard.size() && ctx.insideCard[root.raw] ? cardTouched : *ctx.backupAccessTimes;
    };
    Sys& sys = *ctx.sys;
    // A small card file read whole from the medium while its date was read is not read again.
    std::optional<SampleFP> srcSFP = verifiedLevel ? item.sample : std::nullopt;
    std::optional<FullHashResult> srcFull;
    if (srcSFP && item.digest) srcFull = FullHashResult{*item.digest, true};
    std::optional<int> srcError;
    std::set<PhysicalDriveID> settled;
    std::vector<ObjectID> objects;  // per location
    // Per location: why the copy's whole read did not count as one from its drive.
    std::vector<std::optional<MediumDoubt>> doubts;
    std::optional<MediumDoubt> cardDoubt;

    for (uint32_t row : rows) {
        const RootID root = ix.root(row);
        auto driveIt = ix.rootDrive.find(root);
        if (driveIt == ix.rootDrive.end()) continue;
        const PhysicalDriveID& drive = driveIt->second;
        if (settled.count(drive)) continue;
        // Every read of the copy is held to the object the walk found, through the mount it
        // listed; a copy that cannot be is not read at all, and is no copy.
        const std::optional<HeldObject> expected = ix.object(row);
        const FileAt backupFile{ctx.path(row), expected};

        PairFacts facts(item.size, ix.size()[row]);
        const bool onCardVolume = root.raw < ctx.sameVolume.size() && ctx.sameVolume[root.raw];
        AccessTimesTouched& backupTouched = touchedAt(row);
        facts.sameObject = onCardVolume && item.fileID != 0 && item.fileID == ix.fileID()[row];
        // The object the walk found, by device and inode (each read makes sure it is still the one
        // read): the card file itself reached through any root is no copy, and one object reached
        // twice is one copy.
        const ObjectID object{ix.device()[row], ix.fileID()[row]};
        if (object.known() && item.fileID != 0 && object == ObjectID{item.device, item.fileID}) facts.sameObject = true;
        facts.destDataless = ix.flags()[row].contains(EntryFlags::dataless);
        facts.srcCapture = src.capture;
        if (ctx.replaced->contains(root)) notConnected.insert(root);
        // What was opened at the backup's path is not the copy that was indexed: the copy changed,
        // or, reached through another mount or on another file system (under a mount id used
        // again), the backup's folder holds another volume now and nothing read there is a copy on
        // the drive the check described.
        auto replacedBy = [&](const ContentReadReplaced& e) {
            facts.validatorChanged = true;
            if (e.held().mount == expected->mount && e.held().device == expected->device) return;
            ctx.replaced->note(root);
            notConnected.insert(root);
        };
        if (!expected || notConnected.count(root)) facts.validatorChanged = true;

        // The copy read whole: the first one met at the verified level, read together with the
        // card, or one of a single window read from the medium.
        std::optional<FullHashResult> dstWhole;
        std::optional<MediumDoubt> doubt;
        if (!facts.sameObject && !facts.destDataless && !facts.validatorChanged) {
            if (!srcSFP && verifiedLevel) {
                // Every card file that meets a copy at this level is read whole, so its windows
                // are hashed as the full read passes them (one read of the card, not two), and the
                // first copy is read whole at the same time on its own drive, rather than sampled
                // while the card waits. Only a copy whose windows then differ was read in vain.
                std::optional<FullAndSample> dstBoth;
                bool stopped = false;
                auto readCard = [&] {
                    return ContentReader::fullHashAndSample(cardFile, item.size, cancelledCheck, {}, cardTouched, sys,
                                                            medium);
                };
                std::future<FullAndSample> cardJob = startOrDefer(readCard);
                try {
                    dstBoth = ContentReader::fullHashAndSample(backupFile, ix.size()[row], cancelledCheck, {}, backupTouched,
                                                               sys, medium);
                } catch (const ContentReadCancelled&) {
                    stopped = true;
                } catch (const ContentReadReplaced& e) {
                    replacedBy(e);
                } catch (const ContentReadError& e) {
                    facts.readError = codeOf(e.code());
                }
                try {
                    const FullAndSample card = cardJob.get();
                    srcSFP = card.sample;
                    srcFull = card.full;
                } catch (const ContentReadCancelled&) {
                    stopped = true;
                } catch (const ContentReadReplaced&) {
                    cardReplaced = true;
                } catch (const ContentReadError& e) {
                    srcError = codeOf(e.code());
                }
                if (stopped) throw VerifyError::cancelled();
                if (srcError || cardReplaced) break;
                if (dstBoth) {
                    facts.dstSFP = dstBoth->sample;
                    dstWhole = dstBoth->full;
                    // Read to its end: a copy of another length than indexed changed since.
                    if (static_cast<int64_t>(dstBoth->full.digest.hi) != ix.size()[row]) facts.validatorChanged = true;
                }
            } else if (!srcSFP) {
                try {
                    srcSFP = ContentReader::sampleFP(cardFile, item.size, verifiedLevel, cardTouched, sys, medium);
                } catch (const ContentReadReplaced&) {
                    cardReplaced = true;
                    break;
                } catch (const ContentReadError& e) {
                    srcError = codeOf(e.code());
                    break;
                }
            }
            facts.srcSFP = srcSFP;
            try {
                if (!dstWhole && !facts.readError && !facts.validatorChanged) {
                    // A copy of one window read from the medium is proven whole by that one read.
                    ContentReader::SampleAndDigest sampled = ContentReader::sampleWithDigest(
                        backupFile, ix.size()[row], verifiedLevel, backupTouched, sys, medium);
                    facts.dstSFP = sampled.sample;
                    dstWhole = sampled.full;
                    // The size the copy had when opened: one gone or resized since it was indexed changed.
                    if (sampled.fileSize != ix.size()[row]) facts.validatorChanged = true;
                }
            } catch (const ContentReadReplaced& e) {
                replacedBy(e);
            } catch (const ContentReadError& e) {
                facts.readError = codeOf(e.code());
            }
        }

        PairVerdict v = decide(facts);

        const bool wantFull = v.kind == PairVerdict::Kind::plausible ||
                              (verifiedLevel && v.isIdentical() && v.level == EvidenceLevel::sampled);
        if (wantFull && !srcError && !cardReplaced) {
            // The card and the backup are different devices: reading both at once keeps both busy
            // and halves the wall time of the byte-by-byte pass.
            std::optional<FullHashResult> dstFull;
            std::optional<int> dstError;
            std::optional<ContentReadReplaced> dstReplaced;
            bool stopped = false;
            auto readBackup = [&] {
                if (dstWhole) {
                    dstFull = dstWhole;
                    return;
                }
                try {
                    dstFull = ContentReader::fullHash(backupFile, cancelledCheck, {}, backupTouched, sys, medium);
                } catch (const ContentReadCancelled&) {
                    stopped = true;
                } catch (const ContentReadReplaced& e) {
                    dstReplaced = e;
                } catch (const ContentReadError& e) {
                    dstError = codeOf(e.code());
                }
            };
            if (!srcFull) {
                auto readCard = [&] {
                    return ContentReader::fullHash(cardFile, cancelledCheck, {}, cardTouched, sys, medium);
                };
                std::future<FullHashResult> cardJob = startOrDefer(readCard);
                readBackup();
                try {
                    srcFull = cardJob.get();
                } catch (const ContentReadCancelled&) {
                    stopped = true;
                } catch (const ContentReadReplaced&) {
                    cardReplaced = true;
                } catch (const ContentReadError& e) {
                    srcError = codeOf(e.code());
                }
            } else {
                readBackup();
            }
            // A stopped check has no result for this file rather than a made-up one.
            if (stopped) throw VerifyError::cancelled();
            if (dstReplaced) {
                replacedBy(*dstReplaced);
                v = decide(facts);
            } else if (srcFull && !cardReplaced) {
                if (dstError) {
                    v = PairVerdict::unreadableCopy(*dstError);
                } else if (dstFull) {
                    facts.srcFull = srcFull->digest;
                    facts.dstFull = dstFull->digest;
                    // Verified only when both sides really came from the media.
                    facts.fullReadsCacheEvicted = srcFull->fromMedium && dstFull->fromMedium;
                    if (!srcFull->fromMedium && !cardDoubt) cardDoubt = srcFull->doubt;
                    if (!dstFull->fromMedium) doubt = dstFull->doubt;
                    v = decide(facts);
                }
            }
        }

        if (v.kind == PairVerdict::Kind::different && v.reason.kind == DifferenceReason::Kind::contentDiffers &&
            item.cls.kind == MediaKind::photo && ix.nameKey()[row] == src.nameKey) {
            if (auto info = CaptureReader::exif(backupFile, backupTouched)) {
                if (auto identity = info->identity()) {
                    facts.dstCapture = identity;
                    v = decide(facts);
                }
            }
        }

        Location loc;
        loc.row = row;
        loc.drive = drive;
        loc.dirID = ix.dir()[row];
        loc.verdict = v;
        loc.sameName = ix.nameKey()[row] == src.nameKey;
        loc.cls = facts.sameObject ? LocationClass::hardLink : LocationClass::primary;
        locations.push_back(std::move(loc));
        objects.push_back(object);
        doubts.push_back(doubt);
        if (v.isIdentical()) settled.insert(drive);
        if (cardReplaced) break;
    }

    if (srcError) {
        r.status = FileStatus::unreadable;
        r.detail = "Couldn't read the source: " + errorText(*srcError);
        return {std::move(r), std::move(locations)};
    }

    for (size_t k = 0; k < cands.sameNameOtherSize.size() && k < sameNameOtherSizeMax; ++k) {
        const uint32_t row = cands.sameNameOtherSize[k];
        auto driveIt = ix.rootDrive.find(ix.root(row));
        if (driveIt == ix.rootDrive.end()) continue;
        PairFacts facts(item.size, ix.size()[row]);
        facts.srcCapture = src.capture;
        const std::optional<HeldObject> expected = ix.object(row);
        if (item.cls.kind == MediaKind::photo && src.capture && expected && !ctx.replaced->contains(ix.root(row))) {
            if (auto info = CaptureReader::exif(FileAt{ctx.path(row), expected}, touchedAt(row)))
                facts.dstCapture = info->identity();
        }
        const std::string backupName = ix.name(row);
        facts.sameFormatFamily = Anatomy::ext(item.name) == Anatomy::ext(backupName);
        facts.dstFormat = Anatomy::ext(backupName);
        Location loc;
        loc.row = row;
        loc.drive = driveIt->second;
        loc.dirID = ix.dir()[row];
        loc.verdict = decide(facts);
        loc.sameName = true;
        loc.cls = LocationClass::primary;
        locations.push_back(std::move(loc));
    }

    // The card file must still be what the scan saw: bytes read a moment ago prove nothing about
    // a file that has since grown, shrunk, been rewritten or gone (the reads cover only the size
    // the scan gave). One opened as another object than the scan found is changed, whatever it holds.
    bool sourceChanged = cardReplaced;
    if (!sourceChanged) {
        struct stat st {};
        sourceChanged = statLongPath(sys, cardPath, &st) != 0 || st.st_size != item.size ||
                        st.st_mtim.tv_sec * int64_t{1000000000} + st.st_mtim.tv_nsec != item.mtimeNs;
    }

    SafeToFormatPolicy policy;
    policy.requiredCopies = effectiveRequiredCopies(ctx.request.requiredCopies);
    const PrimaryStatus status = primaryStatus(locations, false, sourceChanged, false, policy, std::nullopt);
    r.safeDrives = sourceChanged ? 0 : countSafeDrives(locations, objects, policy, ctx.sourceDrive);

    // A source that changed has no proven copy: what matched is not what the card holds now.
    for (size_t i = 0; i < locations.size(); ++i) {
        const Location& loc = locations[i];
        if (sourceChanged || loc.cls == LocationClass::hardLink || !loc.verdict.isIdentical()) continue;
        CopyRef ref;
        ref.destination = ix.root(loc.row).raw;
        ref.relativePath = ix.relativePath(loc.row);
        if (std::string bytes = ix.rawRelativePath(loc.row); bytes != ref.relativePath)
            ref.rawRelativePath = std::move(bytes);
        ref.evidence = loc.verdict.level;
        ref.renamed = !loc.sameName;
        if (ref.evidence < EvidenceLevel::verified && i < doubts.size()) ref.doubt = doubts[i];
        r.copies.push_back(std::move(ref));
    }
    // Only a card file whose copies were held back by its own read is named for it.
    if (!r.copies.empty()) r.cardDoubt = cardDoubt;

    switch (status.kind) {
        case PrimaryStatus::Kind::verified: r.status = FileStatus::verified; break;
        case PrimaryStatus::Kind::backedUp: r.status = FileStatus::backedUp; break;
        case PrimaryStatus::Kind::differentFileSameName: {
            r.status = FileStatus::conflict;
            std::string p;
            for (const Location& loc : locations) {
                if (loc.verdict == status.verdict) {
                    p = ix.relativePath(loc.row);
                    break;
                }
            }
            r.detail = p + phrase(status.verdict);
            break;
        }
        case PrimaryStatus::Kind::missing:
            r.status = FileStatus::missing;
            if (status.relatedHint && status.relatedHint->kind == PairVerdict::Kind::converted)
                r.detail = "Only a converted copy (." + status.relatedHint->format + ") was found";
            break;
        case PrimaryStatus::Kind::cloudOnlyPlaceholder:
            r.status = FileStatus::cloudOnly;
            r.detail = "Only a cloud placeholder is on the backup — not a real copy";
            break;
        case PrimaryStatus::Kind::likelyBackedUp:
            r.status = FileStatus::likely;
            r.detail = "Matching name and size, but the content is too uniform to prove";
            break;
        case PrimaryStatus::Kind::cantRead: r.status = FileStatus::unreadable; break;
        case PrimaryStatus::Kind::changed: r.status = FileStatus::changed; break;
        case PrimaryStatus::Kind::checking:
        case PrimaryStatus::Kind::notNeeded: r.status = FileStatus::missing; break;
    }

    if (isCovered(r.status)) {
        bool renamed = false;
        for (const CopyRef& c : r.copies) renamed = renamed || c.renamed;
        if (renamed) r.detail = "Backed up under another name";
        std::set<PhysicalDriveID> drives;
        for (const Location& loc : locations)
            if (loc.verdict.isIdentical() && loc.cls != LocationClass::hardLink) drives.insert(loc.drive);
        if (drives.size() == 1 && *drives.begin() == ctx.sourceDrive)
            r.detail = "The only copy is on the same drive as the source — formatting it would erase both";
    }
    if (!r.detail && !notConnected.empty())
        r.detail = backupNoLongerConnected(ctx.request.destinations.at(notConnected.begin()->raw));
    return {std::move(r), std::move(locations)};
}

}  // namespace halvetrop
