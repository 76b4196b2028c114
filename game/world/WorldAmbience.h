#pragma once
// The world's own record factories: sky domes, hit sounds, lamps, traffic lights, ambient
// emitters and path objects are made from the world file's records as the loader reads them.
class World;

// Claims those record kinds for the world (called by the World's constructor).
void RegisterWorldAmbience(World& world);
