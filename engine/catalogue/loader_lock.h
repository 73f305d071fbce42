#pragma once
// One process-wide lock serialises the catalogue and every loader function: MULTIVENC creates
// encoder instances on its worker thread while other threads may create or release components.
// It is recursive because the loader functions call one another.
#include <mutex>

std::recursive_mutex& LoaderMutex();
