#include "game/play/CameraEditor.h"

#include "engine/core/AtomicFile.h"
#include "engine/core/Camera.h"
#include "engine/core/Debugger.h"
#include "engine/core/InputDevice.h"

void CameraEditor::Add(const Camera& camera) {
    CameraRecord r;
    r.position = camera.position;
    r.orientation = camera.orientation;
    const int32_t count = int32_t(records.size());
    if (current < 0 || current >= count - 1) {
        records.push_back(r);
        current = int32_t(records.size()) - 1;
    } else {
        records.insert(records.begin() + current, r);
    }
}

void CameraEditor::Delete() {
    if (!Current()) return;
    records.erase(records.begin() + current);
    if (current >= int32_t(records.size())) current = int32_t(records.size()) - 1;
}

void CameraEditor::Next() {
    if (!Current()) return;
    current = current + 1 >= int32_t(records.size()) ? 0 : current + 1;
}

void CameraEditor::Previous() {
    if (!Current()) return;
    current = current == 0 ? int32_t(records.size()) - 1 : current - 1;
}

CameraRecord* CameraEditor::Current() {
    if (current < 0 || current >= int32_t(records.size())) return nullptr;
    return &records[size_t(current)];
}

void CameraEditor::SetEpisode(int32_t number) {
    if (CameraRecord* r = Current()) r->episode = number - 1;
}

void CameraEditor::SetMission(int32_t number) {
    if (CameraRecord* r = Current()) r->mission = number - 1;
}

void CameraEditor::SetIndex(int32_t index) {
    if (CameraRecord* r = Current()) r->index = index;
}

void CameraEditor::SetSample(const SharedString& name) {
    if (CameraRecord* r = Current()) r->sample = name;
}

bool CameraEditor::Dump(const SharedString& path) const {
    AtomicFileWriter out(path);
    WriteCameraRecords(out, records);
    if (out.Commit()) {
        Debugger::Instance().Message("Wrote %zu camera records to %s", records.size(), path.c_str());
        return true;
    }
    Debugger::Instance().Message("Could not write the camera records to %s", path.c_str());
    return false;
}

void CameraEditor::ShowCurrent(Camera& camera) const {
    if (current < 0 || current >= int32_t(records.size())) return;
    const CameraRecord& r = records[size_t(current)];
    camera.position = r.position;
    camera.positionDirty = 1;
    camera.orientation = r.orientation;
    camera.orientationDirty = 1;
}

void CameraEditor::Control(InputDevice& input, Camera& camera) {
    bool moved = false;
    if (input.Pressed(kAddKey)) {
        Add(camera);
        moved = true;
    }
    if (input.Pressed(kDumpKey)) Dump(SharedString(kDumpFile));
    if (input.Pressed(kDeleteKey)) {
        Delete();
        moved = true;
    }
    if (input.Pressed(kNextKey)) {
        Next();
        moved = true;
    }
    if (input.Pressed(kPreviousKey)) {
        Previous();
        moved = true;
    }
    if (moved) ShowCurrent(camera);
}

void CameraEditorLines(CameraEditor& editor, std::vector<SharedString>& lines) {
    lines.clear();
    lines.push_back(SharedString::Format("Number of Cameras :%d", int32_t(editor.records.size())));
    const CameraRecord* r = editor.Current();
    if (!r) return;
    lines.push_back(SharedString::Format("Current Camera :%d", editor.current));
    lines.push_back(SharedString::Format("Camera Position : %.1f,%.1f,%.1f", double(r->position.x),
                                         double(r->position.y), double(r->position.z)));
    lines.push_back(SharedString::Format("Camera Epsiode : %d", r->episode));
    lines.push_back(SharedString::Format("Camera Mission : %d", r->mission));
    lines.push_back(SharedString::Format("Camera Time : %.1f", double(r->time)));
    lines.push_back(SharedString::Format("Camera Index : %d", r->index));
    lines.push_back(SharedString::Format("Camera Sample : %s", r->sample.c_str()));
}
