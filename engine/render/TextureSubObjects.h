#pragma once
// Hooks this area's sub-objects into the render facility: the texture manager, the sprite
// renderer and the resolution of texture handles into stage bindings. Installed before the
// facility creates its device (also done automatically when this file is linked in).
void InstallTextureSubObjects();
