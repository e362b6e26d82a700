#pragma once

// The navigator's remote API, loaded at run time. (Filled in with the device link.)
class RapiBinding {
  public:
    virtual ~RapiBinding() = default;
    int isLoaded() const { return 0; }
};
