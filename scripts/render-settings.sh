# Settings under which the cross-platform checks (test-windows.sh,
# test-aarch64.sh) compare renders: sourced by both, so that both hold the
# same cases to the same bits.
# shellcheck disable=SC2034
SETTINGS_BOTH_STAGES="OptByp1=0 DisByp1=0 OptThr1=0.2 DisThr1=0.3 OptGain1=0.3 DisAtk1=0.2 DisRls1=0.4 DisRat1=0.6 Trafo1=0"
SETTINGS_MID_SIDE="MSMode=0 OptByp1=0 OptByp2=0 DisByp1=0 DisByp2=0 OptThr1=0.3 OptThr2=0.1 DisThr1=0.4 DisThr2=0.2 SCFilt1=0 OptMode=0.5 Trafo1=0.5 Trafo2=0"
SETTINGS_UNLINKED="StereoMode=1 OptByp1=0 DisByp1=0 OptThr1=0.1 DisThr1=0.2 DisRat1=1 DisAtk1=0 DisRls1=1 OptMode=1 Trafo1=1"
