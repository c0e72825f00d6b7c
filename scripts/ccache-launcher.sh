#!/usr/bin/env bash
# Compiler launcher: ccache with paths taken relative to the clone, so that a
# fresh clone in another folder still hits the cache.
CCACHE_BASEDIR="$(cd "$(dirname "$0")/.." && pwd)" exec ccache "$@"
