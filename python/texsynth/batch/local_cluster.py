"""The local cluster of a batch, in a process and session of its own: python3 -m texsynth.batch.local_cluster N
starts Dask's LocalCluster of N worker processes of one thread each, prints its scheduler's address and keeps
it until its standard input ends (the client closes it, or ends).

In a session of its own, the cluster does not receive the terminal's signals: Ctrl-C reaches the client
alone, which stops the batch cleanly and then closes the cluster. Dask's own log stays quiet: what becomes
of every job is the batch's to report."""
import logging
import sys


def main():
    from distributed import LocalCluster
    cluster = LocalCluster(n_workers=int(sys.argv[1]), threads_per_worker=1, processes=True,
                           dashboard_address=":0", silence_logs=logging.CRITICAL)
    print(cluster.scheduler_address, flush=True)
    sys.stdin.read()
    cluster.close()


if __name__ == "__main__":
    main()
