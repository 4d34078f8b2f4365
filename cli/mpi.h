// OpenMPI's C interface (not its C++ bindings), for the files that make the
// calls of distributed runs; only built with TOWNGROW_MPI.
#pragma once

#ifdef TOWNGROW_MPI
#define OMPI_SKIP_MPICXX 1
#define MPICH_SKIP_MPICXX 1
#include <mpi.h>
#endif
