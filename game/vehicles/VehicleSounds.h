#pragma once
// A car's own voices, made when it joins the object tree and released when it leaves; null
// without a sound device or a file.
class AudioVoice;

struct VehicleSounds {
    AudioVoice* engineVoice = nullptr;
    AudioVoice* skidVoice = nullptr;
    AudioVoice* gearVoice = nullptr;
    AudioVoice* doorVoice = nullptr;
    AudioVoice* burningVoice = nullptr;
    AudioVoice* launchVoice = nullptr;
};
