// The watch in download mode: handshake, then the agent's frames, with the download faults.
#include "testing/vwatch/download_session.h"

namespace tvsp::vwatch {

using dl::ParsedFrame;
using dl::Status;

DownloadOutput DownloadSession::Receive(std::string_view bytes, dl::RegionStore& store, DownloadFaults& faults) {
    store_ = &store;
    faults_ = &faults;
    DownloadOutput out = ReceiveBytes(bytes);
    store_ = nullptr;
    faults_ = nullptr;
    return out;
}

DownloadOutput DownloadSession::ReceiveBytes(std::string_view bytes) {
    DownloadOutput out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (stage_ == Stage::Restarting || stage_ == Stage::Gone) break;
        if (stage_ == Stage::Handshake) {
            const auto b = static_cast<std::uint8_t>(bytes[i++]);
            if (const auto answer = handshake_.Feed(b, faults_->refuseHandshake)) out.send += static_cast<char>(*answer);
            if (handshake_.done()) {
                stage_ = Stage::AwaitAgent;
                parser_.Clear();
            }
            continue;
        }
        if (stage_ == Stage::AwaitAgent && parser_.idle() && static_cast<std::uint8_t>(bytes[i]) == dl::kHandshake[0]) {
            // The host missed our last complement and greets again: the boot ROM still listens.
            handshake_.Restart();
            stage_ = Stage::Handshake;
            continue;
        }
        // Frames: one byte at a time while a greeting could still interrupt, else the rest at once.
        const std::size_t take = stage_ == Stage::AwaitAgent && parser_.idle() ? 1 : bytes.size() - i;
        parser_.Feed(bytes.substr(i, take));
        i += take;
        while (auto frame = parser_.Next()) {
            HandleFrame(*frame, out);
            if (stage_ == Stage::Gone || stage_ == Stage::Restarting) break;
            if (stage_ == Stage::Handshake) {
                // Bytes behind a DISCONNECT already in the parser belong to the next greeting.
                const std::string rest = parser_.TakeBuffer() + std::string(bytes.substr(i));
                DownloadOutput next = ReceiveBytes(rest);
                out.send += next.send;
                out.vanished = next.vanished;
                out.watchdogMs = next.watchdogMs;
                return out;
            }
        }
    }
    return out;
}

void DownloadSession::HandleFrame(const ParsedFrame& frame, DownloadOutput& out) {
    Status status = Status::Ok;
    bool answer = true;
    switch (frame.kind) {
    case ParsedFrame::Kind::BadChecksum: status = Status::ChecksumError; break;
    case ParsedFrame::Kind::Oversize: status = Status::BadRequest; break;
    case ParsedFrame::Kind::Frame: status = Dispatch(frame, out, &answer); break;
    }
    if (answer) out.send += dl::EncodeAck(status);
}

Status DownloadSession::Dispatch(const ParsedFrame& frame, DownloadOutput& out, bool* answer) {
    const std::string_view p = frame.payload;
    if (frame.type == dl::kDisconnect) {
        if (!p.empty()) return Status::BadRequest;
        // The agent ends; the boot ROM waits for a new greeting on the same port.
        store_->Abandon();
        handshake_.Restart();
        stage_ = Stage::Handshake;
        return Status::Ok;
    }
    if (stage_ == Stage::AwaitAgent) {
        if (frame.type != dl::kSendDa || !dl::CheckDownloadAgent(p)) return Status::BadRequest;
        stage_ = Stage::Agent;
        return Status::Ok;
    }
    switch (frame.type) {
    case dl::kBeginRegion:
        if (p.size() != dl::kRegionNameField + 16) return Status::BadRequest;
        return store_->Begin(p.substr(0, dl::kRegionNameField), dl::GetU64(p, dl::kRegionNameField),
                            dl::GetU64(p, dl::kRegionNameField + 8));
    case dl::kData: {
        ++dataFrames_;
        if (faults_->corruptBlock == dataFrames_) {
            // As if the block arrived damaged: the host sends it again.
            faults_->corruptBlock = 0;
            return Status::ChecksumError;
        }
        if (p.size() < 9) return Status::BadRequest;
        const Status s = store_->Data(dl::GetU64(p, 0), p.substr(8));
        const dl::Region* r = store_->current();
        if (s == Status::Ok && faults_->vanishAtPercent >= 0 && r &&
            r->bytes.size() * 100 >= static_cast<std::uint64_t>(faults_->vanishAtPercent) * r->length) {
            faults_->vanishAtPercent = -1;
            stage_ = Stage::Gone;
            out.vanished = true;
            *answer = false;
        }
        return s;
    }
    case dl::kEndRegion:
        if (p.size() != 4) return Status::BadRequest;
        return store_->End(dl::GetU32(p, 0));
    case dl::kWatchdog:
        if (p.size() != 4 || store_->open()) return Status::BadRequest;
        stage_ = Stage::Restarting;
        out.watchdogMs = dl::GetU32(p, 0);
        return Status::Ok;
    default: return Status::BadRequest;  // SEND_DA again, or a type nobody knows
    }
}

}  // namespace tvsp::vwatch
