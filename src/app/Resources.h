#pragma once
// Makes the embedded files (resources/) available as ":/..." paths. Call once at program start;
// the library is static, so the programs must pull the resources in explicitly.
void InitNordalisResources();
