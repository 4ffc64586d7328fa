// How the launcher stands among the running applications: a regular one (an icon in the
// Dock, a place in the application switcher) or an accessory (neither), which it is while
// the game's window is up, so that the player switches only between the game and others.
#pragma once

namespace kaldra::platform {

enum class ActivationPolicy { regular, accessory };

// Sets the policy from now on. The platform side sets the application's activation
// policy; a side without such a notion does nothing (the caller hides its window itself).
// Main thread only, once the application object exists.
void setActivationPolicy(ActivationPolicy policy);

// Brings the application's visible windows in front of every other application's and
// gives the front one the keyboard focus, as if the player had switched to it. Main
// thread only.
void activateIgnoringOtherApps();

}  // namespace kaldra::platform
