#!/usr/bin/env bash
# Installs postfix for its test programs smtp-sink and smtp-source, when
# missing. The package's mail daemon is kept from starting while it
# installs and stopped should it run all the same: nothing stays listening.
set -euo pipefail
if [[ ! -x /usr/sbin/smtp-sink || ! -x /usr/sbin/smtp-source ]]; then
    sudo=""
    [[ $(id -u) -eq 0 ]] || sudo="sudo"
    echo "Installing postfix for smtp-sink and smtp-source"
    echo "postfix postfix/main_mailer_type select No configuration" | $sudo debconf-set-selections
    policy=/usr/sbin/policy-rc.d
    made_policy=0
    if [[ ! -e $policy ]]; then
        printf '#!/bin/sh\nexit 101\n' | $sudo tee $policy >/dev/null
        $sudo chmod +x $policy
        made_policy=1
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends postfix >/dev/null || true
    [[ $made_policy == 1 ]] && $sudo rm -f $policy
    [[ -x /usr/sbin/smtp-sink ]] || { echo "postfix could not be installed" >&2; exit 1; }
    if [[ -d /run/systemd/system ]]; then
        $sudo systemctl disable --now postfix >/dev/null 2>&1 || true
    fi
fi
if [[ -x /usr/sbin/postfix ]] && /usr/sbin/postfix status >/dev/null 2>&1; then
    sudo=""
    [[ $(id -u) -eq 0 ]] || sudo="sudo"
    $sudo /usr/sbin/postfix stop >/dev/null 2>&1 || true
fi
