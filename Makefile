# Short commands around CMake. `make help` lists them.
JOBS ?= $(shell nproc)
NATIVE ?= OFF
CMAKE ?= cmake

# What each target needs beyond the machine's own tools, installed from
# Debian's packages when missing (scripts/need.sh says what and how when it
# cannot install).
NEED = sh scripts/need.sh
BUILD_PACKAGES = cmake g++
TEST_PACKAGES = $(BUILD_PACKAGES) googletest
ARM_PACKAGES = $(TEST_PACKAGES) g++-arm-linux-gnueabihf qemu-user

.PHONY: all zelk ttune data train finetune pack train-kb tune run test sanitize tsan arm bench perft-deep tb-deep fuzz soak clean help

# EXE=<name>: the engine is also copied to <name> in this folder, as testing
# frameworks build it; a CXX given on the command line or in the
# environment picks the compiler.
EXE ?=
CXX_FLAG = $(if $(filter-out default,$(origin CXX)),-DCMAKE_CXX_COMPILER=$(CXX))
# EVALFILE=<file>: that network is built into the program instead of nets/nn.bin.
EVALFILE ?= nets/nn.bin
EVAL_FLAG = -DZELK_EVALFILE=$(abspath $(EVALFILE))

all: zelk
	$(if $(EXE),cp build/zelk $(EXE))

zelk:
	@$(NEED) $(BUILD_PACKAGES)
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release -DZELK_TESTS=OFF -DZELK_NATIVE=$(NATIVE) $(CXX_FLAG) $(EVAL_FLAG) >/dev/null
	$(CMAKE) --build build -j $(JOBS) --target zelk

# The second binary, build/zelk-tune, with the tuning jobs.
ttune:
	@$(NEED) $(BUILD_PACKAGES)
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release -DZELK_TESTS=OFF -DZELK_NATIVE=$(NATIVE) >/dev/null
	$(CMAKE) --build build -j $(JOBS) --target zelk-tune

# Self-play training data: DATA_POSITIONS positions at DATA_NODES nodes a move
# on every core, with the hand-crafted evaluation (DATA_EVAL=-use_nn for the
# network beside the program), tablebase adjudication from the shared tables when present.
DATA_POSITIONS ?= 20000000
DATA_NODES ?= 500
DATA_SEED ?= 1
DATA_EVAL ?= -use_hce
DATA_FILE ?= data/selfplay.epd
SYZYGY ?= $(firstword $(wildcard ../shared/data/syzygy /work/shared/data/syzygy))
data: ttune
	mkdir -p $(dir $(DATA_FILE))
	./build/zelk-tune $(DATA_EVAL) -threads $(JOBS) -n $(DATA_NODES) -seed $(DATA_SEED) \
	  $(if $(SYZYGY),-tbpath $(SYZYGY)) -o $(DATA_FILE) -mktraindata startpos $(DATA_POSITIONS)

# The network from the training data (TRAIN_FILES: one or more data files):
# nets/nn.bin and its loss plot.
TRAIN_FILES ?= $(DATA_FILE)
TRAIN_ARGS ?= --inputs 1792 --hidden1 256 --hidden2 16 --epochs 10 --batch 4096 --seed 1 --lambda 0.9 --threads 2
train:
	@sh trainer/install.sh
	mkdir -p nets
	/usr/bin/python3 trainer/train.py $(TRAIN_FILES) -o nets/nn.bin $(TRAIN_ARGS)

# nets/nn.bin trained further on newer data (FINETUNE_FILES), at a lower
# learning rate: the later stages of the shipped network.
FINETUNE_FILES ?= $(DATA_FILE)
FINETUNE_ARGS ?= --inputs 1792 --epochs 4 --batch 4096 --lr 2e-4 --seed 1 --lambda 0.9 --threads 2
finetune:
	@sh trainer/install.sh
	/usr/bin/python3 trainer/train.py $(FINETUNE_FILES) -o nets/nn.bin --init nets/nn.bin $(FINETUNE_ARGS)

# Packed positions for the king-bucket trainer: the data lines of PACK_FILES
# appended to PACK_OUT, each position once.
PACK_FILES ?= $(DATA_FILE)
PACK_OUT ?= data/positions.zkd
pack:
	@sh trainer/install.sh
	/usr/bin/python3 trainer/pack.py $(PACK_OUT) $(PACK_FILES)

# The king-bucket network from packed positions (KB_FILES): nets/kb.bin and
# its loss plot.
KB_FILES ?= $(PACK_OUT)
KB_ARGS ?= --layout 4 --width 256 --outputs 8 --epochs 10 --seed 1 --threads 2
train-kb:
	@sh trainer/install.sh
	mkdir -p nets
	/usr/bin/python3 trainer/train_kb.py $(KB_FILES) -o nets/kb.bin $(KB_ARGS)

# The open piece-square entries fitted to the training data (TUNE_SHARE: the
# search score's share of the target, in percent), written into the source.
TUNE_SHARE ?= 50
TUNE_EPOCHS ?= 300
tune: ttune
	mkdir -p data
	./build/zelk-tune -use_hce -o data/params.txt -tune $(DATA_FILE) $(TUNE_SHARE) $(TUNE_EPOCHS)
	/usr/bin/python3 trainer/pst_source.py data/params.txt src/eval/pst_tables.cpp

# The engine with its shipped defaults: the network nets/nn.bin, which the
# build copies beside the executable (nets/README.md says how it was made).
run: zelk
	./build/zelk

# The trainer's tests run in make test too: it equips the trainer.
test:
	@$(NEED) $(TEST_PACKAGES)
	@sh trainer/install.sh
	$(CMAKE) -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	$(CMAKE) --build build-test -j $(JOBS)
	cd build-test && ctest --output-on-failure

sanitize:
	@$(NEED) $(TEST_PACKAGES)
	@sh trainer/install.sh
	$(CMAKE) -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELK_SANITIZE=ON >/dev/null
	$(CMAKE) --build build-sanitize -j $(JOBS)
	cd build-sanitize && ctest --output-on-failure

# A two-thread search under ThreadSanitizer: any report fails the target.
tsan:
	@$(NEED) $(BUILD_PACKAGES)
	$(CMAKE) -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELK_TSAN=ON -DZELK_TESTS=OFF >/dev/null
	$(CMAKE) --build build-tsan -j $(JOBS) --target zelk
	./tests/tsan_search.sh build-tsan/zelk

# qemu is slow: the perft suites run to depth 3 there. The tests that start
# the engine binary run natively only.
arm:
	@$(NEED) $(ARM_PACKAGES)
	$(CMAKE) -S . -B build-arm -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/armhf.cmake >/dev/null
	$(CMAKE) --build build-arm -j $(JOBS)
	cd build-arm && ZELK_PERFT_DEPTH=3 ctest --output-on-failure -R "core|eval|search|nn|tablebase"

bench:
	@$(NEED) $(BUILD_PACKAGES) libbenchmark-dev
	$(CMAKE) -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DZELK_TESTS=OFF -DZELK_BENCH=ON -DZELK_NATIVE=$(NATIVE) >/dev/null
	$(CMAKE) --build build-bench -j $(JOBS)
	./build-bench/bench/perft_bench
	./build-bench/bench/eval_bench
	./build-bench/bench/nn_bench
	./build-bench/bench/search_bench
	./build-bench/bench/book_bench
	./build-bench/bench/pgn_bench
	./build-bench/bench/tb_bench

# Every suite position to its deepest listed count, on the optimised build.
perft-deep:
	$(CMAKE) -S . -B build-deep -DCMAKE_BUILD_TYPE=Release >/dev/null
	$(CMAKE) --build build-deep -j $(JOBS) --target core_tests nn_tests
	ZELK_PERFT_DEPTH=99 ./build-deep/tests/core_tests --gtest_filter='Suites/PerftSuite.*'
	ZELK_PERFT_DEPTH=99 ./build-deep/tests/nn_tests --gtest_filter='NetRun.Incremental*:NetRun.Extended*'

# The tablebase consistency checks with many samples per table, and hard
# endings played out through UCI, on the optimised build.
tb-deep:
	$(CMAKE) -S . -B build-deep -DCMAKE_BUILD_TYPE=Release >/dev/null
	$(CMAKE) --build build-deep -j $(JOBS) --target tablebase_tests engine_tests
	ZELK_TB_SAMPLES=2000 ./build-deep/tests/tablebase_tests
	ZELK_TB_GAMES=1 ./build-deep/tests/engine_tests --gtest_filter='TablebaseGames.*'

# libFuzzer on every input the engine reads (fuzz/), FUZZ_SECONDS a target,
# under AddressSanitizer and UndefinedBehaviorSanitizer; the corpus grows
# in build-fuzz, and a fault fails the target with its input left there.
FUZZ_SECONDS ?= 60
FUZZ_PACKAGES = cmake clang libclang-rt-14-dev
SHARED_DATA ?= $(firstword $(wildcard $(ZELK_SHARED_DATA) ../shared/data /work/shared/data))
fuzz:
	@$(NEED) $(FUZZ_PACKAGES)
	$(CMAKE) -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELK_FUZZ=ON -DZELK_TESTS=OFF -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	$(CMAKE) --build build-fuzz -j $(JOBS) --target fuzz_targets
	sh fuzz/run.sh build-fuzz $(FUZZ_SECONDS) $(SHARED_DATA)

# A mixed soak of SOAK_GAMES games (soak/soak.sh says what it plays), one
# table of faults; fails on any fault, keeping the faulty games' records.
soak:
	@$(NEED) $(BUILD_PACKAGES)
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release -DZELK_TESTS=OFF -DZELK_NATIVE=$(NATIVE) $(CXX_FLAG) $(EVAL_FLAG) >/dev/null
	$(CMAKE) --build build -j $(JOBS) --target zelk zelk-referee
	sh soak/soak.sh build/zelk build/soak/zelk-referee $(SHARED_DATA)

clean:
	rm -rf build build-test build-sanitize build-tsan build-arm build-bench build-deep

help:
	@echo "make            build the engine (build/zelk); NATIVE=ON tunes for this CPU"
	@echo "make run        build and start the engine"
	@echo "make ttune      build build/zelk-tune, with -mktraindata, -tune and -tune2"
	@echo "make data       self-play training data into data/selfplay.epd (DATA_POSITIONS, DATA_NODES, DATA_SEED)"
	@echo "make train      train nets/nn.bin on the data (TRAIN_FILES, TRAIN_ARGS), with its loss plot"
	@echo "make finetune   train nets/nn.bin further on newer data (FINETUNE_FILES, FINETUNE_ARGS)"
	@echo "make pack       the data lines appended to data/positions.zkd, each position once (PACK_FILES, PACK_OUT)"
	@echo "make train-kb   train the king-bucket network nets/kb.bin on packed positions (KB_FILES, KB_ARGS)"
	@echo "make tune       fit the open piece-square entries to the data and write them into src/eval"
	@echo "make test       build and run every test"
	@echo "make sanitize   tests under AddressSanitizer and UndefinedBehaviorSanitizer"
	@echo "make tsan       a two-thread search under ThreadSanitizer"
	@echo "make arm        cross-build for armhf (NEON) and run the core tests under qemu-arm"
	@echo "make bench      build and run the benchmarks"
	@echo "make perft-deep the perft suites at their full depths"
	@echo "make tb-deep    the tablebase checks with 2000 positions per table, and endings played out"
	@echo "make fuzz       every fuzz target for FUZZ_SECONDS seconds (default 60) under the sanitizers"
	@echo "make soak       SOAK_GAMES games (default 800) of every feature in turn under fastchess: a fault table"
